#!/usr/bin/env bash
# The browse of AFile in the real program under a real X server, played with the keyboard as a
# user would: log in, close the message test window, "Browse AFile" from the frame's menu, a
# record added through the form (a negative decimal, a date and a time), its Astring changed by
# Ctrl+Enter, a second added, that one deleted (No, then Yes), the browse closed, "Exit".
# Afterwards the data file holds exactly the changed first record (read with the sqlite3 shell),
# the INI file the places of both windows, and the log beside the binary every dialog in order.
# Given a folder, the browse with its rows and the filled-in form are photographed into it.
set -euo pipefail
binary=$1
pictures=${2:-}
[ -z "$pictures" ] || pictures=$(cd "$pictures" && pwd)
source "$(dirname "$0")/demo_steps.sh"

browseTitle='Browse the AFile file'
data="$scratch/AFILE.db"
ini="$scratch/Quibbet_demo.INI"

# The browse is an MDI child inside the frame, which X does not see as a window of its own. Its
# thread opens AFile (creating AFILE.db) just before the window; the Insert key then brings up
# the form once the list has the focus. A press that came before the list is lost, so it is
# repeated, but only after a wait long enough that a press the list did take has shown its form
# (a second press queued behind it would open a second form after the first).
open_form_by_insert() {
  local _
  for _ in $(seq 4); do
    keys_to "$frameTitle" Insert
    timeout 8 xdotool search --sync --onlyvisible --name '^Record Will Be Added$' >/dev/null 2>&1 && return 0
  done
  echo "the Insert key on the browse brought up no form"; exit 1
}

# Each entry of the form in turn, "-" passing one by: all of it selected, the value typed over
# it, Tab to the next.
fill_form() {
  local title=$1 value
  shift
  for value in "$@"; do
    if [ "$value" = - ]; then
      keys_to "$title" Tab
    else
      keys_to "$title" ctrl+a
      xdotool type --delay 60 -- "$value"
      xdotool key Tab
    fi
  done
}

save_form() {  # OK by its accelerator; the form closes after the save
  keys_to "$1" alt+o
  wait_gone "$1"
}

login Tester
keys_to Start Return
wait_gone Start
keys_to "$testTitle" alt+c
wait_gone "$testTitle"

# Browse ▸ Browse AFile: the menu opens on its first item, "Window Test"; one step down.
keys_to "$frameTitle" alt+b Down Return
wait_until "the browse did not open AFILE.db in the current directory" test -f "$data"
sleep 0.5  # its window opens right after: most often the first Insert then finds the list

open_form_by_insert
fill_form 'Record Will Be Added' 1 'Left by the user' -12.5 12/24/2026 09:30
shot "$pictures" demo_form.png 'Record Will Be Added'
save_form 'Record Will Be Added'

# The new record is the highlighted one: Ctrl+Enter changes it.
keys_to "$frameTitle" ctrl+Return
fill_form 'Record Will Be Changed' - 'Changed by the user'
save_form 'Record Will Be Changed'

open_form_by_insert
fill_form 'Record Will Be Added' 2 'Deleted by the user' 3.75 01/02/2027 17:05
save_form 'Record Will Be Added'
shot "$pictures" demo_browse.png "$frameTitle"

# The second record is highlighted now; Delete asks first.
keys_to "$frameTitle" Delete
keys_to 'Confirm Delete' Escape
wait_gone 'Confirm Delete'
keys_to "$frameTitle" Delete
keys_to 'Confirm Delete' y
wait_gone 'Confirm Delete'

# Close: Alt+C is "&Change" as well, so the focus goes back from the list round to Close and
# Enter presses it. Its Kill stores the browse's place in the INI file as the window goes.
keys_to "$frameTitle" shift+Tab Return
wait_until "the browse did not close (no [BrowseAFile] in the INI file)" grep -qi '^\[BrowseAFile\]' "$ini"
exit_program

failed=0
fail() { echo "$1"; failed=1; }

expected=$(cat <<END
USER:Tester|MESSAGE:|WindowTitle=$frameTitle|MessageTitle=Start|MessageText=Wellcome ...|ShownButtons=OK|PressedButton=OK
USER:Tester|MESSAGE:|WindowTitle=$browseTitle|MessageTitle=Confirm Delete|MessageText=Are you sure you want to delete the highlighted record?|ShownButtons=YES|NO|PressedButton=NO
USER:Tester|MESSAGE:|WindowTitle=$browseTitle|MessageTitle=Confirm Delete|MessageText=Are you sure you want to delete the highlighted record?|ShownButtons=YES|NO|PressedButton=YES
END
)
got=$(entries)
if [ "$got" != "$expected" ]; then
  fail "the log differs from what the user did:"
  diff <(echo "$expected") <(echo "$got") || true
fi

# What the user left, read by the stock shell: one column per field, named after it.
stored=$(sqlite3 -separator '|' "$data" 'SELECT ID, ASTRING, ADECIMAL, ADATE, ATIME FROM AFile ORDER BY rowid') ||
  fail "sqlite3 could not read $data"
if [ "$stored" != "1|Changed by the user|-12.50|2026-12-24|09:30:00.00" ]; then
  fail "the data file holds what the user did not leave:"
  echo "$stored"
fi

# The last connection's close folds the journal back into the file: one left means a data file
# the program never closed.
[ ! -e "$data-wal" ] || fail "AFILE.db-wal is left: the data file was not closed"

for procedure in BrowseAFile UpdateAFile; do
  grep -qi "^\[$procedure\]" "$ini" || fail "no place of $procedure in the INI file"
done

[ $failed = 0 ] || exit 1
echo "browse played: $(echo "$expected" | wc -l) entries logged, 1 record stored, 1 passed, 0 failed"
