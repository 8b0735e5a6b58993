#!/bin/sh
# Runs a Windows program under Wine, in a prefix of the build folder's own,
# headless and without the first start stopping to offer Mono or Gecko. The
# prefix is 32-bit, as players of a 32-bit game often keep theirs, unless
# WINEARCH says otherwise.
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENT...]
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEARCH="${WINEARCH:-win32}"
# winemenubuilder makes desktop menus, none of them wanted here, and can hang
# a prefix update until a test runs out of time.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG="${WINEDEBUG:--all}"
# Names outside ASCII reach Windows programs only through a UTF-8 locale.
export LANG=C.UTF-8
exec wine "$@"
