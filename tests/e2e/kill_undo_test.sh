#!/usr/bin/env bash
# velmora-cli rename killed with kill -9 at moments spread over the run, each
# time followed by velmora-cli undo: every file must have its name and
# content from before, with no temporary name left. With "link", one photo
# has a second name (a hard link), the kills come at exact steps (the test
# hooks' VELMORA_CRASH_AT; between link and unlink too when VELMORA_FORCE_LINK
# is set), and each undo is itself killed once before the undo that finishes
# it: the photo must keep both names, and the last undo may report success
# only when every name is back. With "tree", the photos lie in nested
# folders and each run gathers them into date folders that it makes
# (--recursive --create-folders); runs and undos are killed at exact steps,
# and each undo must give back every name and place, the made folders gone.
# Usage: kill_undo_test.sh VELMORA_CLI MAKE_PHOTOS [FILES [KILLS [link|tree]]]
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
options=()
if [ "$mode" = tree ]; then
    # A card dump of nested folders, a file in every third place.
    options=(--recursive --create-folders)
    i=0
    for photo in "$work/photos"/*.jpg; do
        folder="$work/photos/card/DCIM/10$((i % 3))CANON"
        [ $((i % 3)) = 2 ] && folder="$work/photos/old/$((i % 5))"
        mkdir -p "$folder" && mv "$photo" "$folder/"
        i=$((i + 1))
    done
fi
# Every file with its content and place, and every folder.
snapshot() { (cd "$work/photos" && find . -type f -exec md5sum -- {} + | sort && find . -type d | sort); }
before=$(snapshot)
# The formats that make every file move (in a tree, into made folders).
format_of() {
    local name=$([ $(($1 % 2)) = 0 ] && echo 'x%C' || echo 'IMG_%C')
    [ "$mode" = tree ] && name="%Y/%m/%d/$name"
    echo "$name"
}

# How long a whole run takes, to spread the kills over it.
micros() { echo $((($(date +%s%N) - $1) / 1000)); }
"$cli" rename "${options[@]}" --format "$(format_of 0)" "$work/photos" >/dev/null ||
    { echo "FAIL: a whole run"; exit 1; }
"$cli" undo "$work/photos" >/dev/null
[ "$(snapshot)" = "$before" ] || { echo "FAIL: undo of a finished run"; exit 1; }
start=$(date +%s%N)
"$cli" rename "${options[@]}" --format "$(format_of 0)" "$work/photos" >/dev/null
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
    format=$(format_of "$k")
    delay=$((span * k / (kills + 1)))
    if [ "$mode" = tree ]; then
        # Kills spread over the run's steps, and the undo's first steps.
        where=step
        at=$((files * (k - 1) / kills))
        delay="$where $at"
        crash_at "$where:$at" rename "${options[@]}" --format "$format" "$work/photos"
    elif [ "$mode" = link ]; then
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
    [ "$mode" = link ] || [ "$mode" = tree ] && crash_at "$where:$(((k * 3) % 7))" undo "$work/photos"
    "$cli" undo "$work/photos" >"$work/undo.out"
    status=$?
    if [ "$(snapshot)" != "$before" ] || find "$work/photos" -name '~vlm*' | grep -q .; then
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
