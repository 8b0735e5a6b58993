#!/bin/sh
# Makes the release of the last commit three times: from two clones at
# different paths and a few seconds apart, then from the first release's
# source archive, unpacked into a folder of its own and built with `make
# release` where any call of git fails. Fails unless every file of dist/ is
# the same, byte for byte, SHA256SUMS included.
# Usage: check-release.sh (from the repository's root)
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/release-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
first="$work/first"
second="$work/the second clone, elsewhere"
unpacked="$work/the first source archive, unpacked"

# Runs a release in a folder, its output shown only if it fails, but for
# the line that says what it is built from.
release_in() {
    folder=$1
    shift
    if ! (cd "$folder" && "$@") >"$work/log" 2>&1; then
        cat "$work/log" >&2
        echo "release-check: the release in $folder failed" >&2
        exit 1
    fi
    grep '^release:' "$work/log"
}

git clone --quiet "$PWD" "$first"
git clone --quiet "$PWD" "$second"
release_in "$first" sh scripts/release.sh
sleep 3
release_in "$second" sh scripts/release.sh

mkdir "$unpacked" "$work/no git"
tar -xzf "$first"/dist/nation-editor-*-source.tar.gz -C "$unpacked" --strip-components=1
cat >"$work/no git/git" <<EOF
#!/bin/sh
echo "git \$*" >>"$work/git calls"
exit 1
EOF
chmod +x "$work/no git/git"
release_in "$unpacked" env PATH="$work/no git:$PATH" make --no-print-directory release

status=0
if [ -e "$work/git calls" ]; then
    echo "release-check: the release from the source archive called git:" >&2
    cat "$work/git calls" >&2
    status=1
fi
# Compares the dist/ of another release with the first's.
compare() {
    for file in "$first"/dist/*; do
        name=$(basename "$file")
        if cmp -s "$file" "$1/dist/$name"; then
            echo "the same $2: $name"
        else
            echo "DIFFERENT $2: $name" >&2
            status=1
        fi
    done
    if [ "$(ls "$first/dist")" != "$(ls "$1/dist")" ]; then
        echo "DIFFERENT $2: the files of dist/" >&2
        status=1
    fi
}
compare "$second" "in the second clone"
compare "$unpacked" "from the source archive"
if [ $status -eq 0 ]; then
    echo "SHA256SUMS of all three:"
    cat "$first/dist/SHA256SUMS"
fi
exit $status
