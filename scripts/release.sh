#!/bin/sh
# Writes dist/: the players' zip, the web page's zip, the Debian package, the
# source archive of the commit and SHA256SUMS. The same commit gives the same bytes wherever it
# is built and whenever: every date is the last commit's (SOURCE_DATE_EPOCH),
# the program files hold no link time and no folder of the build machine,
# and the archives list their entries in a fixed order with fixed
# permissions.
# Usage: release.sh (from the repository's root)
set -eu
if [ -n "$(git status --porcelain)" ]; then
    echo "release: the work tree has changes that are not committed; a release is of a commit" >&2
    exit 1
fi
export SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export LC_ALL=C TZ=UTC
umask 022
version=$(sed -n 's/^project(NationEditor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -rf dist build-release build-release-windows build-release-web
mkdir dist

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DNATION_BUILD_TESTS=OFF -DNATION_WERROR=OFF -DNATION_REPRODUCIBLE=ON >/dev/null
cmake --build build-release --target nation-editor
(cd build-release && cpack -B packages >/dev/null)
cp build-release/packages/*.deb dist/

cmake -S . -B build-release-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DNATION_BUILD_TESTS=OFF -DNATION_REPRODUCIBLE=ON >/dev/null
cmake --build build-release-windows --target players_zip
cp build-release-windows/nation-editor-"$version"-windows.zip dist/

emcmake cmake -S . -B build-release-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DNATION_BUILD_TESTS=OFF \
    -DNATION_REPRODUCIBLE=ON -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node >/dev/null
cmake --build build-release-web --target web_zip
cp build-release-web/nation-editor-"$version"-web.zip dist/

git archive --format=tar --prefix="nation-editor-$version/" HEAD | gzip -n -9 > "dist/nation-editor-$version-source.tar.gz"

(cd dist && sha256sum -- * > SHA256SUMS)
echo "The release, in $(pwd)/dist:"
cat dist/SHA256SUMS
