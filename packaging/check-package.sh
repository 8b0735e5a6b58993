#!/bin/sh
# Installs the built package with apt, as a user would, starts the installed
# program under Xvfb and waits for its window, then removes the package.
# Usage (as root): packaging/check-package.sh build-package/packages/nation-editor_*.deb
set -eu
deb=$(realpath "$1")
apt-get install -y "$deb" >/dev/null
trap 'apt-get remove -y nation-editor >/dev/null' EXIT
test -x /usr/bin/nation-editor
desktop-file-validate /usr/share/applications/org.example.NationEditor.desktop
display=:$((150 + $$ % 300))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb /usr/bin/nation-editor &
editor=$!
found=""
for _ in $(seq 50); do
    if DISPLAY=$display xdotool search --name "^CM3 99/00 Tallowmere$" >/dev/null 2>&1; then
        found=yes
        break
    fi
    sleep 0.2
done
kill "$editor" "$xvfb" 2>/dev/null || true
if [ -z "$found" ]; then
    echo "the installed program did not show its window" >&2
    exit 1
fi
echo "installed, started and showed its window: $deb"
