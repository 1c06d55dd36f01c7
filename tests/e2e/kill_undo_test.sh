#!/usr/bin/env bash
# velmora-cli rename killed with kill -9 at moments spread over the run, each
# time followed by velmora-cli undo: every file must have its name and
# content from before, with no temporary name left. With "link", one photo
# has a second name (a hard link), the kills come at exact steps (the test
# hooks' VELMORA_CRASH_AT; between link and unlink too when VELMORA_FORCE_LINK
# is set), and each undo is itself killed once before the undo that finishes
# it: the photo must keep both names, and the last undo may report success
# only when every name is back.
# Usage: kill_undo_test.sh VELMORA_CLI MAKE_PHOTOS [FILES [KILLS [link]]]
set -uo pipefail
cli=$1
make_photos=$2
files=${3:-400}
kills=${4:-5}
mode=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC0 HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state

mkdir "$work/photos"
"$make_photos" "$work/photos" "$files" || exit 1
[ "$mode" = link ] && ln "$work/photos/DSC_0002.jpg" "$work/photos/second name.jpg"
snapshot() { (cd "$work/photos" && md5sum -- * | sort); }
before=$(snapshot)

# How long a whole run takes, to spread the kills over it.
micros() { echo $((($(date +%s%N) - $1) / 1000)); }
"$cli" rename --format 'x%C' "$work/photos" >/dev/null
"$cli" undo "$work/photos" >/dev/null
[ "$(snapshot)" = "$before" ] || { echo "FAIL: undo of a finished run"; exit 1; }
start=$(date +%s%N)
"$cli" rename --format 'x%C' "$work/photos" >/dev/null
span=$(micros "$start")
"$cli" undo "$work/photos" >/dev/null

# Starts a command, kills it with kill -9 after $2 microseconds.
kill_after() {
    "$cli" "${@:3}" >/dev/null 2>&1 &
    local pid=$!
    sleep "$(printf '%d.%06d' $(($2 / 1000000)) $(($2 % 1000000)))"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

# Runs a command that kills itself at the crash point $1 (as the shell's
# own job, so its death is not reported).
crash_at() {
    VELMORA_CRASH_AT=$1 "$cli" "${@:2}" >/dev/null 2>&1 &
    wait $! 2>/dev/null
}

failures=0
cut_off=0 # kills that caught a run between its journal and its end
for ((k = 1; k <= kills; k++)); do
    # Formats that make every file move, many through temporary names.
    format=$([ $((k % 2)) = 0 ] && echo 'x%C' || echo 'IMG_%C')
    delay=$((span * k / (kills + 1)))
    if [ "$mode" = link ]; then
        # The linked photo is the oldest, so its steps come first: half the
        # kills fall there, half spread over the run; the undo is cut off
        # among its first steps, where that photo's names come back.
        where=$([ "${VELMORA_FORCE_LINK:-}" = 1 ] && [ $((k % 2)) = 1 ] && echo link || echo step)
        at=$([ $((2 * k)) -le "$kills" ] && echo $((k - 1)) || echo $((files * k / kills)))
        delay="$where $at"
        crash_at "$where:$at" rename --format "$format" "$work/photos"
    else
        kill_after run "$delay" rename --format "$format" "$work/photos"
    fi
    "$cli" history "$work/photos" | tail -n 1 | grep -q interrupted && cut_off=$((cut_off + 1))
    [ "$mode" = link ] && crash_at "$where:$(((k * 3) % 7))" undo "$work/photos"
    "$cli" undo "$work/photos" >"$work/undo.out"
    status=$?
    if [ "$(snapshot)" != "$before" ] || ls "$work/photos" | grep -q '~vlm'; then
        echo "FAIL: kill $k at ${delay}: $(tail -1 "$work/undo.out") (undo exit $status)"
        failures=$((failures + 1))
    elif [ "$status" != 0 ]; then
        echo "FAIL: kill $k: every name is back, but the undo said: $(cat "$work/undo.out")"
        failures=$((failures + 1))
    fi
done
[ "$failures" = 0 ] &&
    echo "all $kills kills undone ($cut_off cut a run off mid-way): $files files back under their names"
[ "$failures" = 0 ]
