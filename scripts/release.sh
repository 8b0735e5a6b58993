#!/bin/sh
# Writes dist/: the players' zip, the web page's zip, the Debian package, the
# source archive of the commit and SHA256SUMS. The same commit gives the same bytes wherever it
# is built and whenever: every date is the last commit's (SOURCE_DATE_EPOCH),
# the program files hold no link time and no folder of the build machine,
# and the archives list their entries in a fixed order with fixed
# permissions.
#
# A release is of a commit: in a clone, the one checked out, with nothing
# changed; in an unpacked source archive, the one its RELEASE-SOURCE names,
# which also holds the commit's date and files, so that no git is needed
# there and the same release comes out, the source archive included.
# Usage: release.sh (from the root of a clone or of an unpacked source archive)
set -eu
# Debian's own Python, whose zlib every rebuild on Debian 12 shares.
python=/usr/bin/python3
if [ -f RELEASE-SOURCE ]; then
    from=archive
    "$python" scripts/source-archive.py check RELEASE-SOURCE
elif [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
    from=git
    if [ -n "$(git status --porcelain)" ]; then
        echo "release: the work tree has changes that are not committed; a release is of a commit" >&2
        exit 1
    fi
else
    echo "release: $(pwd) is neither a clone of the repository nor an unpacked source archive" \
        "(it has no RELEASE-SOURCE); a release is of a commit" >&2
    exit 1
fi
export LC_ALL=C TZ=UTC
umask 022
version=$(sed -n 's/^project(NationEditor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
record=build-release/RELEASE-SOURCE
rm -rf dist build-release
mkdir dist build-release
if [ "$from" = git ]; then
    "$python" scripts/source-archive.py record "$record"
    # The work tree is clean, but git may still have changed what it wrote
    # out (a filter, line endings); the archive is of the commit's contents.
    "$python" scripts/source-archive.py check "$record"
else
    cp RELEASE-SOURCE "$record"
fi
commit=$(sed -n 's/^commit //p' "$record")
export SOURCE_DATE_EPOCH="$(sed -n 's/^date //p' "$record")"
if [ "$from" = git ]; then
    echo "release: commit $commit of $(date -d "@$SOURCE_DATE_EPOCH" "+%Y-%m-%d %H:%M UTC"), from git"
else
    echo "release: no git here; building from the source archive of commit $commit of" \
        "$(date -d "@$SOURCE_DATE_EPOCH" "+%Y-%m-%d %H:%M UTC")"
fi

# Each file of the release is made by a function of its own, in a build
# folder of its own under build-release/, configured by a preset of
# CMakePresets.json (release-linux, release-windows, release-web), and
# copied into dist/.
debian_package() {
    cmake --preset release-linux >/dev/null
    cmake --build build-release/linux --target nation-editor
    (cd build-release/linux && cpack -B packages >/dev/null)
    cp build-release/linux/packages/*.deb dist/
}

players_zip() {
    cmake --preset release-windows >/dev/null
    cmake --build build-release/windows --target players_zip
    cp build-release/windows/nation-editor-"$version"-windows.zip dist/
}

# The page's folder, zipped, built by Debian's emscripten.
web_zip() {
    cmake --preset release-web >/dev/null
    cmake --build build-release/web --target web_zip
    cp build-release/web/nation-editor-"$version"-web.zip dist/
}

# Made from the record alone, in a clone as in the unpacked archive.
source_archive() {
    "$python" scripts/source-archive.py write "$record" "nation-editor-$version/" \
        "dist/nation-editor-$version-source.tar.gz"
}

debian_package
players_zip
web_zip
source_archive

(cd dist && sha256sum -- * > SHA256SUMS)
echo "The release of commit $commit, in $(pwd)/dist:"
cat dist/SHA256SUMS
