#!/bin/sh
# Makes a Wine prefix for the tests: initialised once, fonts that look like
# the design's (Wine's own Tahoma, MS Sans Serif and Marlett, which Debian's
# Wine does not find by itself; Liberation Serif and Sans for Times New Roman
# and Arial, as on Linux), and Wine drawing its own window frames, because
# no window manager runs in the tests: with one missing, Wine would wait
# about two seconds whenever it hides a window.
# Usage: wine-prefix-setup.sh PREFIX [DOTS-PER-INCH]
set -eu
prefix=$1
dpi=${2:-96}
run="$(cd "$(dirname "$0")" && pwd)/wine-run.sh"
# A prefix is made anew when its kind or Wine changed: one made before
# wine32 was installed fails to start anything ("could not load
# kernel32.dll"), and a 64-bit one can't become 32-bit.
made="${WINEARCH:-win32} $(dpkg-query -W -f='${Package}=${Version} ' wine32:i386 wine64 2>/dev/null)"
if [ -d "$prefix" ] && [ "$(cat "$prefix/.made-for" 2>/dev/null)" != "$made" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
fi
"$run" "$prefix" wineboot --init
if [ -d /usr/share/wine/fonts ]; then
    cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
fi
"$run" "$prefix" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif' /f
"$run" "$prefix" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial' /d 'Liberation Sans' /f
"$run" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v 'Managed' /d 'N' /f
"$run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v 'LogPixels' /t REG_DWORD /d "$dpi" /f
# Wine hands mailto: addresses to /usr/bin/open first, which on Debian and
# Ubuntu is mailcap's and opens no mail program: xdg-email, as players are
# told to set too.
"$run" "$prefix" reg add 'HKCU\Software\Wine\WineBrowser' /v 'Mailers' /d 'xdg-email' /f
# Returns once Wine has written the registry to the prefix.
WINEPREFIX="$prefix" wineserver -w
printf '%s' "$made" > "$prefix/.made-for"
