#!/usr/bin/env bash
# Typing and the mouse in the real program under a real X server, as a new user meets them: Tab
# into each field of the form and type; click into the middle of an empty field and type; type,
# click the frame, click back and OK; type and press Esc (the question, No keeps the text); 30
# records and the list's scroll bar dragged to the bottom; a right click opens the popup at the
# mouse with each item once, and the Menu key below the highlighted row. The data file is read
# with the sqlite3 shell after each save.
# Given a folder, the browse scrolled to its end and its popup are photographed into it.
set -euo pipefail
binary=$1
pictures=${2:-}
[ -z "$pictures" ] || pictures=$(cd "$pictures" && pwd)
source "$(dirname "$0")/demo_steps.sh"

data="$scratch/AFILE.db"
added='Record Will Be Added'
changed='Record Will Be Changed'

# Places in window pixels (the form's window; the frame's window with the browse in its first
# place). A window unit is 1.5 pixels across and 1.625 down.
astring=(160 72)         # the middle of the form's Astring entry
frameSpot=(650 420)      # the frame's empty MDI area, right of the browse
thumb=(546 176)          # the list's scroll bar: its thumb, which a browse shows mid-way at first ...
belowBar=(546 330)       # ... and a place below the bar's end, where a drag ends
secondRow=(150 115)      # a cell of the list's second row

failed=0
fail() { echo "FAILED: $1"; failed=1; }

click_in() {  # click_in <title> <x> <y> [button]: a click at that place of the window
  xdotool mousemove --window "$(find_window "$1")" "$2" "$3" click "${4:-1}"
  sleep 0.3
}

# A press that came before the list had the focus is lost: repeated after a wait long enough
# for a press that was taken to show its form.
open_form_by_insert() {
  for _ in $(seq 4); do
    keys_to "$frameTitle" Insert
    timeout 8 xdotool search --sync --onlyvisible --name "^$added\$" >/dev/null 2>&1 && return 0
  done
  echo "the Insert key on the browse brought up no form"; exit 1
}

row() {  # row <id>: that record as the shell reads it
  sqlite3 -separator '|' "$data" "SELECT ID, ASTRING, ADECIMAL, ADATE, ATIME FROM AFile WHERE ID = $1"
}

expect_row() {  # expect_row <step> <id> <row>
  local got
  got=$(row "$2")
  [ "$got" = "$3" ] || fail "$1: stored \"$got\", not \"$3\""
}

login Tester
keys_to Start Return
wait_gone Start
keys_to "$testTitle" alt+c
wait_gone "$testTitle"
keys_to "$frameTitle" alt+b Down Return
wait_until "the browse did not open AFILE.db" test -f "$data"
sleep 0.5

# 1. The form opens in ID; Tab into each field and type, Adecimal passed by. From Atime, Tab
# lands on OK (a visible stop) and Space presses it.
open_form_by_insert
keys_to "$added" ctrl+a
xdotool type --delay 60 1
xdotool key Tab
xdotool type --delay 60 'Plain tab typed'
xdotool key Tab Tab
xdotool type --delay 60 12/24/2026
xdotool key Tab
xdotool type --delay 60 09:30
xdotool key Tab space
wait_gone "$added"
expect_row "Tab into each field" 1 "1|Plain tab typed|0.00|2026-12-24|09:30:00.00"

# 2. A click into the middle of an empty field, then typing.
open_form_by_insert
keys_to "$added" ctrl+a
xdotool type --delay 60 2
click_in "$added" "${astring[@]}"
xdotool type --delay 60 'Focus test value'
keys_to "$added" alt+o
wait_gone "$added"
expect_row "click into the middle" 2 "2|Focus test value|0.00||"

# 3. Typed, the frame clicked, the form clicked again, OK: the text survives the round trip.
keys_to "$frameTitle" ctrl+Return
click_in "$changed" "${astring[@]}"
xdotool key ctrl+a
xdotool type --delay 60 'Kept across focus'
click_in "$frameTitle" "${frameSpot[@]}"
click_in "$changed" "${astring[@]}"
keys_to "$changed" alt+o
wait_gone "$changed"
expect_row "focus away and back" 2 "2|Kept across focus|0.00||"

# 4. Typed, then Esc with the cursor still in the field: the question comes; No keeps the text.
keys_to "$frameTitle" ctrl+Return
click_in "$changed" "${astring[@]}"
xdotool key ctrl+a
xdotool type --delay 60 'Esc typed'
xdotool key Escape
if timeout 5 xdotool search --sync --onlyvisible --name '^Changes will be lost!$' >/dev/null 2>&1; then
  keys_to 'Changes will be lost!' n
  wait_gone 'Changes will be lost!'
  keys_to "$changed" alt+o
  wait_gone "$changed"
  expect_row "Esc, then No" 2 "2|Esc typed|0.00||"
else
  fail "Esc: no question before the typed text was dropped"
  wait_gone "$changed"
fi

# 5. 30 records (28 more through the shell while the browse is closed); in the browse opened
# again, the thumb dragged to the bottom by the mouse shows the last record, highlighted:
# Ctrl+Enter changes record 30.
keys_to "$frameTitle" shift+Tab Return
wait_until "the browse did not close" grep -qi '^\[BrowseAFile\]' "$scratch/Quibbet_demo.INI"
sqlite3 "$data" "WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n WHERE i < 30)
                 INSERT INTO AFile(ID, ASTRING, ADECIMAL, ADATE, ATIME)
                 SELECT i, 'Record ' || i, '0.00', '2027-01-01', '08:00:00.00' FROM n"
keys_to "$frameTitle" alt+b Down Return
sleep 1.5
frame=$(find_window "$frameTitle")
xdotool mousemove --window "$frame" "${thumb[@]}" mousedown 1
sleep 0.3
xdotool mousemove --window "$frame" "${belowBar[@]}"
sleep 0.3
xdotool mouseup 1
sleep 1
shot "$pictures" demo_browse_end.png "$frameTitle"
keys_to "$frameTitle" ctrl+Return
click_in "$changed" "${astring[@]}"
xdotool key ctrl+a
xdotool type --delay 60 'The last one'
keys_to "$changed" alt+o
wait_gone "$changed"
expect_row "scroll bar to the bottom" 30 "30|The last one|0.00|2027-01-01|08:00:00.00"

# 6. A right click on a row opens the popup where the mouse is; its Delete answers to D at once,
# which a second "&Delete" in the menu would not (the letter would only move between the two).
click_in "$frameTitle" "${secondRow[@]}" 3
sleep 0.5
eval "$(xdotool getmouselocation --shell)"
mouseX=$X mouseY=$Y
popup=$(xdotool search --onlyvisible --class . 2>/dev/null | while read -r w; do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  [ "$X" -ge $((mouseX - 2)) ] && [ "$X" -le $((mouseX + 2)) ] && [ "$Y" -ge $((mouseY - 2)) ] &&
    [ "$Y" -le $((mouseY + 2)) ] && echo "$w"
done | head -n 1)
[ -n "$popup" ] || fail "right click: no popup opened at the mouse ($mouseX, $mouseY)"
# The menu is a window of its own above the frame: the picture is the screen's.
[ -z "$pictures" ] || { sleep 0.5; import -window root -crop 720x490+0+0 "$pictures/demo_popup.png"; }
if [ -n "$popup" ]; then
  xdotool key d
  if timeout 5 xdotool search --sync --onlyvisible --name '^Confirm Delete$' >/dev/null 2>&1; then
    keys_to 'Confirm Delete' n
    wait_gone 'Confirm Delete'
  else
    fail "right click: D did not choose Delete at once (an item listed twice?)"
    xdotool key Escape Escape
  fi
fi

# The Menu key opens the same popup just below the highlighted row, inside the list.
keys_to "$frameTitle" Menu
sleep 0.5
frame=$(find_window "$frameTitle")
eval "$(xdotool getwindowgeometry --shell "$frame")"
frameX=$X frameY=$Y
popup=$(xdotool search --onlyvisible --class . 2>/dev/null | while read -r w; do
  [ "$w" = "$frame" ] && continue
  eval "$(xdotool getwindowgeometry --shell "$w")"
  [ "$X" -ge $((frameX + 16)) ] && [ "$X" -le $((frameX + 540)) ] && [ "$Y" -ge $((frameY + 91)) ] &&
    [ "$Y" -le $((frameY + 280)) ] && [ "$WIDTH" -lt 300 ] && echo "$w"
done | head -n 1)
[ -n "$popup" ] || fail "Menu key: no popup opened below the highlighted row"
xdotool key Escape
sleep 0.3

exit_program
[ "$(sqlite3 "$data" 'SELECT COUNT(*) FROM AFile')" = 30 ] || fail "the file does not hold the 30 records"
[ $failed = 0 ] || exit 1
echo "typing played: 6 steps, each save read back with sqlite3"
