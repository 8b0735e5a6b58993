#!/bin/sh
# Makes the release of the last commit twice, from two clones at different
# paths and a few seconds apart, and fails unless every file of dist/ is the
# same, byte for byte.
# Usage: check-release.sh (from the repository's root)
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/release-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
first="$work/first"
second="$work/the second clone, elsewhere"
git clone --quiet "$PWD" "$first"
git clone --quiet "$PWD" "$second"
(cd "$first" && sh scripts/release.sh >/dev/null)
sleep 3
(cd "$second" && sh scripts/release.sh >/dev/null)
status=0
for file in "$first"/dist/*; do
    name=$(basename "$file")
    if cmp -s "$file" "$second/dist/$name"; then
        echo "the same: $name"
    else
        echo "DIFFERENT: $name" >&2
        status=1
    fi
done
if [ "$(ls "$first/dist")" != "$(ls "$second/dist")" ]; then
    echo "DIFFERENT: the files of dist/" >&2
    status=1
fi
exit $status
