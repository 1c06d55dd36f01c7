#!/usr/bin/env bash
# Drives the real window on a private X server the way a user would. First
# Tab to "Exit" and press Enter: the folder and the settings stay untouched.
# Then rename a folder of dated pictures: type a new file name format, press
# Enter, confirm the message box, leave with Escape, and check the folder and
# the stored settings. Last, open the folder again and press Ctrl+Z: the
# names from before the rename come back. Then drag a second folder from
# another program onto the list: the drop is taken as a copy and Enter renames
# that folder; a picture added to it shows after F5 and is renamed too.
# Last, Cancel during a rename of 20,000 files, and Ctrl+Z after it.
#
# usage: rename_window_test.sh VELMORA MAKE_PHOTOS DRAG_SOURCE SCREENSHOT_DIR
# Exit status: 0 passed, 1 failed, 77 skipped (a needed X tool is missing).

# The helpers below run through traps and wait_until, out of shellcheck's sight.
# shellcheck disable=SC2317

set -uo pipefail

readonly kSkip=77
readonly kBudgetSeconds=100 # hang guard, well inside the CTest TIMEOUT
readonly kMainTitle='Velmora Images to date taken value'
readonly kBoxTitle='Rename Files'
readonly kUndoTitle='Undo Rename'
readonly kSourceTitle='Velmora drag source'
readonly kFormat='Trip_%Y-%m-%d_%C'
# The pictures of velmora_e2e_make_photos, named by date order with the counter.
readonly kExpectedNames=(
    Trip_2019-12-31_000.jpg
    Trip_2020-02-29_001.jpg
    Trip_2021-07-14_002.jpg
    Trip_2021-07-14_003.jpg
    Trip_2022-01-01_004.jpg
)

if [[ $# -ne 4 ]]; then
    echo "usage: $0 VELMORA MAKE_PHOTOS DRAG_SOURCE SCREENSHOT_DIR" >&2
    exit 2
fi
readonly velmora=$1 make_photos=$2 drag_source=$3 screenshot_dir=$4
readonly test_name=e2e_rename_window

for tool in Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: '$tool' is not installed (packages xvfb, xdotool, imagemagick)"
        exit "$kSkip"
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX") || exit 1
readonly work
xvfb_pid=
app_pid=
drag_pid=
display=
readonly deadline=$((SECONDS + kBudgetSeconds))

log() { echo "[$test_name] $*"; }

# Stops one of our own processes: politely, then for good.
stop_process() {
    local pid=$1
    [[ -n $pid ]] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    local _
    for _ in {1..30}; do
        is_running "$pid" || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

cleanup() {
    stop_process "$app_pid"
    stop_process "$drag_pid"
    stop_process "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# True while a child of ours has not ended (a zombie counts as ended).
is_running() {
    local state
    state=$(awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n $state && $state != Z ]]
}

x() { DISPLAY=$display timeout 5 "$@"; }

screenshot() {
    [[ -n $display ]] || return 1
    mkdir -p "$screenshot_dir" && x import -window root "$screenshot_dir/$1"
}

fail() {
    echo "FAILED: $*" >&2
    if screenshot "$test_name-failure.png"; then
        echo "screen at the failure: $screenshot_dir/$test_name-failure.png" >&2
    fi
    if [[ -s $work/velmora.log ]]; then
        echo "--- Velmora output" >&2
        cat "$work/velmora.log" >&2
    fi
    if [[ -s $work/drag.log ]]; then
        echo "--- drag source output" >&2
        cat "$work/drag.log" >&2
    fi
    if [[ -s $work/xvfb.log ]]; then
        echo "--- Xvfb output" >&2
        cat "$work/xvfb.log" >&2
    fi
    exit 1
}

# wait_until WHAT COMMAND...: polls COMMAND until it succeeds; fails the test
# when the time is up or the program ends meanwhile.
wait_until() {
    local what=$1
    shift
    while ! "$@"; do
        if [[ -n $app_pid ]] && ! is_running "$app_pid"; then
            fail "Velmora ended while waiting for $what"
        fi
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.1
    done
}

# Prints the id of the visible window with exactly this title.
find_window() {
    local title=$1
    x xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1
}

window_shown() { [[ -n $(find_window "$1") ]]; }
window_gone() { [[ -z $(find_window "$1") ]]; }

focus_window() {
    x xdotool windowfocus --sync "$1" >/dev/null 2>&1 || fail "cannot focus window $1"
}

rm -f "$screenshot_dir/$test_name.png" "$screenshot_dir/$test_name-failure.png"

# A scratch folder of dated pictures and a home of its own for the settings.
photos=$work/photos
home=$work/home
runtime=$work/runtime
mkdir -p "$photos" "$home/.config" "$runtime" || fail "cannot set up $work"
chmod 0700 "$runtime" || fail "cannot set up $runtime"
"$make_photos" "$photos" || fail "velmora_e2e_make_photos could not write the pictures"
readonly settings_file=$home/.config/Quorvant/Velmora.conf

# A private X server on a free display; it writes the display number once it
# accepts connections. Without -noreset it resets whenever its last client
# leaves, and a program connecting during that reset is turned away: the
# polling xdotool calls come and go while the program starts.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
# The number is complete once its line is: read fails on an unfinished line.
read_display() {
    is_running "$xvfb_pid" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    local number
    IFS= read -r number 2>/dev/null <"$work/display" && [[ $number =~ ^[0-9]+$ ]]
}
wait_until "the X server" read_display
display=:$(head -n 1 "$work/display")
log "X server on display $display"

# Starts Velmora on the photos in a clean environment: nothing of the
# caller's desktop, Qt platform or locale.
start_velmora() {
    env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_RUNTIME_DIR="$runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb TZ=UTC \
        LC_ALL=C.UTF-8 "$velmora" "$photos" >"$work/velmora.log" 2>&1 &
    app_pid=$!
}

# Waits for Velmora to end after WHAT; fails unless it ends with status 0.
wait_velmora_end() {
    local what=$1 pid=$app_pid status
    app_pid=
    while is_running "$pid"; do
        if ((SECONDS >= deadline)); then
            app_pid=$pid
            fail "timed out waiting for Velmora to end after $what"
        fi
        sleep 0.1
    done
    wait "$pid"
    status=$?
    ((status == 0)) || fail "Velmora ended with status $status after $what"
}

# First case: Enter on a focused "Exit" leaves and renames nothing. The focus
# starts on the first field; one step back from it, round the tab order, is
# the last button, "Exit".
original=$(cd "$photos" && LC_ALL=C ls -A)
start_velmora
wait_until "the main window" window_shown "$kMainTitle"
focus_window "$(find_window "$kMainTitle")"
x xdotool key --clearmodifiers shift+Tab || fail "cannot move the focus to Exit"
x xdotool key --clearmodifiers Return || fail "cannot press Enter on Exit"
wait_velmora_end "Enter on Exit"
if [[ $(cd "$photos" && LC_ALL=C ls -A) != "$original" ]]; then
    fail "$(printf 'Enter on Exit changed the folder to\n%s' "$(cd "$photos" && ls -A)")"
fi
[[ ! -e $settings_file ]] || fail "Enter on Exit stored a format: $(cat "$settings_file")"
log "Enter on Exit renamed nothing"

# Second case: type a format, rename with Enter, leave with Escape.
start_velmora
wait_until "the main window" window_shown "$kMainTitle"
main_window=$(find_window "$kMainTitle")
log "main window $main_window"
eval "$(x xdotool getwindowgeometry --shell "$main_window")" || fail "no geometry for the main window"
# The window is laid out on a 320x210 grid that scales with the font; the
# format field spans 67..185 x 32..46 of it.
field_x=$((WIDTH * 126 / 320))
field_y=$((HEIGHT * 39 / 210))

focus_window "$main_window"
x xdotool mousemove --sync --window "$main_window" "$field_x" "$field_y" click 1 ||
    fail "cannot click the format field"
x xdotool key --clearmodifiers ctrl+a || fail "cannot select the format"
x xdotool type --clearmodifiers --delay 15 "$kFormat" || fail "cannot type the format"
x xdotool key --clearmodifiers Return || fail "cannot press Enter"

wait_until "the '$kBoxTitle' message box" window_shown "$kBoxTitle"
message_box=$(find_window "$kBoxTitle")
log "message box $message_box"
screenshot "$test_name.png" || fail "cannot take the screenshot"
log "screenshot: $screenshot_dir/$test_name.png"

focus_window "$message_box"
x xdotool key --clearmodifiers Return || fail "cannot confirm the message box"
wait_until "the message box to close" window_gone "$kBoxTitle"

focus_window "$main_window"
x xdotool key --clearmodifiers Escape || fail "cannot press Escape"
wait_velmora_end Escape

# The folder holds exactly the new names.
actual=$(cd "$photos" && LC_ALL=C ls -A)
expected=$(printf '%s\n' "${kExpectedNames[@]}" | LC_ALL=C sort)
if [[ $actual != "$expected" ]]; then
    fail "$(printf 'the folder holds\n%s\nexpected\n%s' "$actual" "$expected")"
fi

# The format went into the settings, in the [Settings] group.
[[ -f $settings_file ]] || fail "no settings file at $settings_file"
stored=$(awk '/^\[/ { group = $0; next } group == "[Settings]" && /^Default%20Format=/' \
    "$settings_file")
if [[ $stored != "Default%20Format=$kFormat" ]]; then
    fail "$(printf 'settings file %s holds\n%s' "$settings_file" "$(cat "$settings_file")")"
fi

# undo_and_leave CHECK: Ctrl+Z, Yes to the question (No is its default),
# CHECK until the names are back, confirm the message, leave with Escape.
undo_and_leave() {
    focus_window "$main_window"
    x xdotool key --clearmodifiers ctrl+z || fail "cannot press Ctrl+Z"
    wait_until "the undo question" window_shown "$kUndoTitle"
    focus_window "$(find_window "$kUndoTitle")"
    x xdotool key --clearmodifiers alt+y || fail "cannot answer the undo question"
    wait_until "the names from before the rename" "$1"
    wait_until "the undo's message" window_shown "$kUndoTitle"
    focus_window "$(find_window "$kUndoTitle")"
    x xdotool key --clearmodifiers Return || fail "cannot confirm the undo's message"
    wait_until "the undo's message to close" window_gone "$kUndoTitle"
    focus_window "$main_window"
    x xdotool key --clearmodifiers Escape || fail "cannot press Escape"
    wait_velmora_end Escape
}

# Third case: Ctrl+Z, Yes to the question, and the old names are back.
start_velmora
wait_until "the main window" window_shown "$kMainTitle"
main_window=$(find_window "$kMainTitle")
names_back() { [[ $(cd "$photos" && LC_ALL=C ls -A) == "$original" ]]; }
undo_and_leave names_back

# Fourth case: drag a second folder from another program onto the list. The
# source proposes a move, as file managers do; Velmora must take a copy, or
# the source could delete what it believes moved.
listing() { (cd "$1" && LC_ALL=C ls -A); }
photos2=$work/photos2
# Its sixth picture, dated last, waits aside until after the first rename.
{ mkdir "$photos2" && "$make_photos" "$photos2" 1 && mv "$photos2/IMG_0.jpg" "$work/"; } ||
    fail "cannot set up $photos2"
start_velmora
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$runtime" DISPLAY="$display" \
    QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$drag_source" "$photos2" >"$work/drag.out" \
    2>"$work/drag.log" &
drag_pid=$!
wait_until "the main window" window_shown "$kMainTitle"
source_shown() {
    is_running "$drag_pid" || fail "the drag source ended before its window showed"
    window_shown "$kSourceTitle"
}
wait_until "the drag source" source_shown
main_window=$(find_window "$kMainTitle")
eval "$(x xdotool getwindowgeometry --shell "$(find_window "$kSourceTitle")")" ||
    fail "no geometry for the drag source"
from_x=$((X + WIDTH / 2)) from_y=$((Y + HEIGHT / 2))
eval "$(x xdotool getwindowgeometry --shell "$main_window")" || fail "no geometry for the main window"
# The list spans 7..313 x 54..176 of the grid.
to_x=$((X + WIDTH * 160 / 320)) to_y=$((Y + HEIGHT * 115 / 210))
x xdotool mousemove --sync "$from_x" "$from_y" mousedown 1 || fail "cannot press on the drag source"
# Each step is a round of XDND messages between the two programs; the last
# ones jiggle over the list so that it has answered before the button goes up.
for step in {1..8}; do
    part=$((step < 6 ? step : 6))
    x xdotool mousemove --sync $((from_x + (to_x - from_x) * part / 6 + step % 2)) \
        $((from_y + (to_y - from_y) * part / 6)) || fail "cannot drag to step $step"
    sleep 0.1
done
x xdotool mouseup 1 || fail "cannot drop"
drag_ended() { ! is_running "$drag_pid"; }
wait_until "the drag source to end" drag_ended
wait "$drag_pid"
drag_pid=
dropped=$(cat "$work/drag.out")
[[ $dropped == copy ]] || fail "the drop ended as '$dropped', expected 'copy'"

# rename_shows EXPECTED...: Enter renames; the second folder then holds exactly
# EXPECTED, and the first one is left as it was.
rename_shows() {
    focus_window "$main_window"
    x xdotool key --clearmodifiers Return || fail "cannot press Enter"
    wait_until "the '$kBoxTitle' message box" window_shown "$kBoxTitle"
    local actual expected
    actual=$(listing "$photos2")
    expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
    if [[ $actual != "$expected" ]]; then
        fail "$(printf 'the dropped folder holds\n%s\nexpected\n%s' "$actual" "$expected")"
    fi
    if [[ $(listing "$photos") != "$original" ]]; then
        fail "$(printf 'the first folder changed to\n%s' "$(listing "$photos")")"
    fi
    focus_window "$(find_window "$kBoxTitle")"
    x xdotool key --clearmodifiers Return || fail "cannot confirm the message box"
    wait_until "the message box to close" window_gone "$kBoxTitle"
}
rename_shows "${kExpectedNames[@]}"
log "the dropped folder was taken as a copy and renamed"

mv "$work/IMG_0.jpg" "$photos2/" || fail "cannot add a picture to $photos2"
focus_window "$main_window"
x xdotool key --clearmodifiers F5 || fail "cannot press F5"
rename_shows "${kExpectedNames[@]}" Trip_2023-03-01_005.jpg
log "F5 listed the added picture"
focus_window "$main_window"
x xdotool key --clearmodifiers Escape || fail "cannot press Escape"
wait_velmora_end Escape

# Fifth case: Escape (Cancel) during a rename of 20,000 files stops it with
# no file under a temporary name; Ctrl+Z then gives every file its name back.
big=$work/big
{ mkdir "$big" && "$make_photos" "$big" 20000; } || fail "cannot set up $big"
big_original=$(listing "$big")
env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_RUNTIME_DIR="$runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb TZ=UTC \
    LC_ALL=C.UTF-8 "$velmora" "$big" >"$work/velmora.log" 2>&1 &
app_pid=$!
wait_until "the main window" window_shown "$kMainTitle"
main_window=$(find_window "$kMainTitle")
# Enter is swallowed while the folder is read: it is pressed until the
# rename begins.
renaming() { compgen -G "$big/Trip_*" >/dev/null; }
press_rename() {
    renaming && return 0
    focus_window "$main_window"
    x xdotool key --clearmodifiers Return || fail "cannot press Enter"
    local _
    for _ in {1..20}; do
        renaming && return 0
        sleep 0.1
    done
    return 1
}
wait_until "the rename to start" press_rename
x xdotool key --clearmodifiers Escape || fail "cannot press Escape"
wait_until "the '$kBoxTitle' message box" window_shown "$kBoxTitle"
renamed=$(listing "$big" | grep -c '^Trip_')
aside=$(listing "$big" | grep -c '^~vlm')
((renamed > 0 && renamed < 20005)) || fail "Cancel left $renamed of 20005 files renamed"
((aside == 0)) || fail "Cancel left $aside files under temporary names"
log "Cancel stopped the rename after $renamed of 20005 files"
focus_window "$(find_window "$kBoxTitle")"
x xdotool key --clearmodifiers Return || fail "cannot confirm the message box"
wait_until "the message box to close" window_gone "$kBoxTitle"
big_back() { [[ $(listing "$big") == "$big_original" ]]; }
undo_and_leave big_back
log "the undo gave all 20005 files their names back"

log "passed"
exit 0
