#!/usr/bin/env bash
# velmora-cli rename killed with kill -9 at moments spread over the run, each
# time followed by velmora-cli undo: every file must have its name and
# content from before, with no temporary name left.
# Usage: kill_undo_test.sh VELMORA_CLI MAKE_PHOTOS [FILES [KILLS]]
set -uo pipefail
cli=$1
make_photos=$2
files=${3:-400}
kills=${4:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC0 HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state

mkdir "$work/photos"
"$make_photos" "$work/photos" "$files" || exit 1
snapshot() { (cd "$work/photos" && md5sum -- * | sort); }
before=$(snapshot)

# How long a whole run takes, to spread the kills over it.
"$cli" rename --format 'x%C' "$work/photos" >/dev/null
"$cli" undo "$work/photos" >/dev/null
[ "$(snapshot)" = "$before" ] || { echo "FAIL: undo of a finished run"; exit 1; }
start=$(date +%s%N)
"$cli" rename --format 'x%C' "$work/photos" >/dev/null
span=$(( ($(date +%s%N) - start) / 1000 ))
"$cli" undo "$work/photos" >/dev/null

failures=0
cut_off=0 # kills that caught a run between its journal and its end
for ((k = 1; k <= kills; k++)); do
    # Formats that make every file move, many through temporary names.
    format=$([ $((k % 2)) = 0 ] && echo 'x%C' || echo 'IMG_%C')
    "$cli" rename --format "$format" "$work/photos" >/dev/null &
    pid=$!
    delay=$(( span * k / (kills + 1) ))
    sleep "$(printf '0.%06d' "$delay")"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    "$cli" history "$work/photos" | tail -n 1 | grep -q interrupted && cut_off=$((cut_off + 1))
    "$cli" undo "$work/photos" >"$work/undo.out"
    status=$?
    if [ "$(snapshot)" != "$before" ] || ls "$work/photos" | grep -q '~vlm'; then
        echo "FAIL: kill $k after ${delay} us: $(tail -1 "$work/undo.out") (undo exit $status)"
        failures=$((failures + 1))
    fi
done
[ "$failures" = 0 ] &&
    echo "all $kills kills undone ($cut_off cut a run off mid-way): $files files back under their names"
[ "$failures" = 0 ]
