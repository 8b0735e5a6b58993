#!/bin/sh
# Installs the Debian packages the project needs. Idempotent: asks apt only
# for what is missing. Without root it prints the command to run instead.
# Usage: install-deps.sh [GROUP...]
# groups: build (the default), windows, web, fuzz, bench, package
set -eu

build="
    cmake
    ninja-build
    make
    g++
    python3
    qt6-base-dev
    libxcb1-dev
    fonts-liberation
    xvfb
    xauth
    xdotool
    x11-utils
    x11-apps
    xclip
    openbox
    xfwm4
    metacity
    dbus-daemon
    at-spi2-core
    python3-pyatspi
    orca
    speech-dispatcher
    speech-dispatcher-espeak-ng
    espeak-ng
    procps
    qt6-gtk-platformtheme
    fonts-dejavu-core
    desktop-file-utils
    appstream
    doctest-dev
"
# The Windows program, cross-built as a 32-bit program and tested under Wine
# in a 32-bit prefix (wine32 is an i386 package).
windows="
    cmake
    ninja-build
    make
    doctest-dev
    g++-mingw-w64-i686-win32
    binutils-mingw-w64-i686
    wine
    wine64
    wine32:i386
    python3-pefile
    fonts-wine
"
# The web page, compiled by emscripten; its tests under Node and in three
# browser engines: headless Chromium through Selenium, Firefox ESR through
# its own WebDriver BiDi over a WebSocket, and WebKitGTK through its
# WebDriver under an X server of the test's own.
web="
    cmake
    ninja-build
    make
    doctest-dev
    python3
    emscripten
    nodejs
    node-acorn
    chromium
    chromium-driver
    python3-selenium
    firefox-esr
    python3-websocket
    webkit2gtk-driver
    xvfb
    xauth
"
fuzz="
    clang
    libclang-rt-14-dev
"
bench="
    libbenchmark-dev
"
package="
    dpkg-dev
    file
"

PACKAGES=""
for group in "${@:-build}"; do
    case "$group" in
        build) PACKAGES="$PACKAGES $build" ;;
        windows) PACKAGES="$PACKAGES $windows" ;;
        web) PACKAGES="$PACKAGES $web" ;;
        fuzz) PACKAGES="$PACKAGES $build $fuzz" ;;
        bench) PACKAGES="$PACKAGES $build $bench" ;;
        package) PACKAGES="$PACKAGES $build $package" ;;
        *) echo "unknown package group: $group" >&2; exit 2 ;;
    esac
done

missing=""
for package in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *" installed") ;;
        *) missing="$missing $package" ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

# wine32 comes from Debian's i386 architecture, which has to be enabled first.
architecture=""
case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || architecture="dpkg --add-architecture i386" ;;
esac
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages:$missing" >&2
    echo "Install them as root with:" >&2
    echo "    ${architecture:+$architecture && }apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 1
fi

# Another install (the machine's own updates, another build's) may hold the
# package system's locks: wait for it, up to an hour, rather than fail at
# once. apt-get install waits by itself with DPkg::Lock::Timeout; apt-get
# update fails at once on its lists' lock whatever it is told, so the wait
# below is for both, and the timeout covers an install that takes the lock
# between the wait and apt's own try.
lock_timeout=3600

# The process holding FILE's lock: dpkg and apt lock with fcntl, which only
# the kernel's table of locks shows, each lock by its file's device, in hex,
# and inode (a waiter's line has "->" before it).
lock_holder() {
    [ -e "$1" ] || return 1
    file=$(stat -c '%Hd %Ld %i' "$1") || return 1
    # shellcheck disable=SC2086
    file=$(printf '%02x:%02x:%s' $file)
    awk -v file="$file" '$2 != "->" && $6 == file { print $5; found = 1; exit } END { exit !found }' /proc/locks
}

wait_for_lock() {
    since=$(date +%s)
    said=""
    while holder=$(lock_holder "$1"); do
        waited=$(($(date +%s) - since))
        if [ -z "$said" ]; then
            name=$(cat "/proc/$holder/comm" 2>/dev/null || echo "another program")
            echo "Waiting for another package install or update to finish: $name (process $holder) holds $1;" \
                "waiting up to $lock_timeout s"
            said=yes
        fi
        if [ "$waited" -ge "$lock_timeout" ]; then
            echo "install-deps: $1 is still held after $lock_timeout s; try again once the other install is over" >&2
            exit 1
        fi
        sleep 1
    done
    if [ -n "$said" ]; then
        echo "The other install is over after $(($(date +%s) - since)) s; going on"
    fi
}

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
if [ -n "$architecture" ]; then
    wait_for_lock /var/lib/dpkg/lock-frontend
    $architecture
fi
# A mirror in the middle of its own update serves lists that don't match
# their index ("File has unexpected size ... Mirror sync in progress?"):
# two more tries, half a minute apart; then the install goes on with the
# lists that did come, which hold what it needs unless the failed one does.
tries=1
until wait_for_lock /var/lib/apt/lists/lock && apt-get -o DPkg::Lock::Timeout=$lock_timeout update; do
    if [ "$tries" -ge 3 ]; then
        echo "Some package lists could not be fetched in $tries tries; going on with those that were"
        break
    fi
    echo "Some package lists could not be fetched; trying again in 30 s (try $((tries + 1)) of 3)"
    tries=$((tries + 1))
    sleep 30
done
wait_for_lock /var/lib/dpkg/lock-frontend
# shellcheck disable=SC2086
apt-get -o DPkg::Lock::Timeout=$lock_timeout install -y --no-install-recommends $missing
