#!/bin/sh
# Runs a Windows program under Wine as an ordinary user when called by root:
# Wine run by root writes any file, whatever its read-only attribute says.
# Usage: wine-run-unprivileged.sh PREFIX PROGRAM [ARGUMENT...]
set -eu
prefix=$1
program=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    exec "$here/wine-run.sh" "$prefix" "$program" "$@"
fi
# The user can't be assumed to reach into the build folder (a clone in root's
# home is closed to others), so the prefix, the program and the runner sit
# in a folder of the user's own.
# The prefix's kind and Wine's version are in its name: a prefix made for
# another kind, or before wine32 was installed, would not start.
kind="${WINEARCH:-win32} $(dpkg-query -W -f='${Package}=${Version} ' wine32:i386 wine64 2>/dev/null)"
prefix=${TMPDIR:-/tmp}/nation-editor-wine-$(printf '%s %s' "$prefix" "$kind" | md5sum | cut -c1-12)
mkdir -p "$prefix/home"
cp "$program" "$here/wine-run.sh" "$prefix/"
chown -R nobody:nogroup "$prefix"
exec setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$prefix/home" \
    "$prefix/wine-run.sh" "$prefix" "$prefix/$(basename "$program")" "$@"
