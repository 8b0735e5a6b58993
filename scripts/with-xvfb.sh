#!/bin/sh
# Runs a command on a virtual display of its own, and ends the display after.
# Xvfb picks a free display number itself and tells it (-displayfd).
# Usage: with-xvfb.sh COMMAND [ARGUMENT...]
set -eu
told=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$told" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -f "$told"' EXIT
tries=0
until [ -n "$(cat "$told")" ]; do
    tries=$((tries + 1))
    if [ $tries -ge 200 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.05
done
export DISPLAY=":$(head -n 1 "$told")"
"$@"
