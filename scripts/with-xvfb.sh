#!/bin/sh
# Runs a command on a virtual display of its own, and ends the display after.
# Usage: with-xvfb.sh COMMAND [ARGUMENT...]
set -eu
first=$((100 + $$ % 400))
number=$first
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
    number=$((number + 1))
done
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$number"
tries=0
until xdpyinfo >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -lt 200 ] || { echo "Xvfb did not start on $DISPLAY" >&2; exit 1; }
    sleep 0.05
done
"$@"
