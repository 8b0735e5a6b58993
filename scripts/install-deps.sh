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
# The web page, compiled by emscripten; its tests under Node and in headless
# Chromium through Selenium.
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

command="apt-get install -y --no-install-recommends$missing"
# wine32 comes from Debian's i386 architecture, which has to be enabled first.
architecture=""
case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || architecture="dpkg --add-architecture i386" ;;
esac
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages:$missing" >&2
    echo "Install them as root with:" >&2
    echo "    ${architecture:+$architecture && }apt-get update && $command" >&2
    exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
if [ -n "$architecture" ]; then
    $architecture
fi
apt-get update
# shellcheck disable=SC2086
$command
