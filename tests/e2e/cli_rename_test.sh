#!/usr/bin/env bash
# velmora-cli rename as a terminal user runs it: names that would leave the
# folder or hide the file and formats with an unknown code are refused, an empty format is a usage error, and a run whose
# output goes away (| head) still renames every file and leaves no
# temporary name. Usage: cli_rename_test.sh VELMORA_CLI MAKE_PHOTOS
set -uo pipefail
cli=$1
make_photos=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC0 HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A fresh photo folder $work/photos with COUNT extra photos.
fresh() {
    rm -rf "$work/photos"
    mkdir -p "$work/photos"
    "$make_photos" "$work/photos" "$1" || exit 1
}

names() { (cd "$work/photos" && find . -mindepth 1 | sort); }

expect_status() { # expected, actual, what
    [ "$1" = "$2" ] || fail "$3: exit status $2, expected $1"
}

fresh 20
before=$(names)
for format in '../%C' '/tmp/%C' '' 'a//%C' '%2147483647Y' '.%Y%C' '%{foo}%C'; do
    "$cli" rename --format "$format" "$work/photos" >"$work/out" 2>&1
    status=$?
    expect_status 2 "$status" "format '$format'"
    [ "$(names)" = "$before" ] || fail "format '$format' changed the folder"
done
[ -z "$(ls "$work" | grep -v -e '^photos$' -e '^out$' -e '^config$' -e '^state$')" ] ||
    fail "a file left the folder: $(ls "$work")"

for command in list rename; do
    "$cli" $command --format 'x%{foo}%C' "$work/photos" >"$work/out" 2>&1
    expect_status 2 $? "$command with an unknown code"
    grep -qx 'velmora-cli: %{foo} is not a code of the format (see velmora-cli --help)' "$work/out" ||
        fail "the unknown code is not named: $(cat "$work/out")"
done

ln -s "$work" "$work/photos/out"
"$cli" rename --format 'out/%C' "$work/photos" >"$work/out" 2>&1
expect_status 2 $? "format through a link"
grep -q "symbolic link" "$work/out" || fail "the link refusal does not say why: $(cat "$work/out")"
rm "$work/photos/out"

fresh 300
"$cli" rename --format 'n%C' "$work/photos" | head -1 >/dev/null
[ "$(names | grep -c '/n[0-9]*\.jpg$')" = 305 ] || fail "| head stopped the run: $(names | head)"
names | grep -q '~vlm' && fail "| head left temporary names"

[ "$failures" = 0 ] && echo "all velmora-cli rename checks passed"
[ "$failures" = 0 ]
