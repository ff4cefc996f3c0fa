#!/usr/bin/env bash
# The product under a real X server, played from outside with key presses as a user would:
# a user name typed in the login screen, the greeting answered, each button of the message test
# window pressed and its dialog answered with the keyboard, the window closed by MESSAGE 4's
# Accept, then "Exit". The log beside the binary must hold exactly the entries the user caused.
# Given a folder, the frame, the login screen and the message test window are photographed into it.
set -euo pipefail
binary=$1
pictures=${2:-}
[ -z "$pictures" ] || pictures=$(cd "$pictures" && pwd)
source "$(dirname "$0")/demo_steps.sh"

find_window Login >/dev/null
shot "$pictures" demo_login.png Login
login Tester
keys_to Start Return
wait_gone Start
find_window "$testTitle" >/dev/null
shot "$pictures" demo_message_test.png "$testTitle"

# The focus starts on MESSAGE 1; Tab walks the buttons in their order.
press_next() { keys_to "$testTitle" "$@"; }
press_next Return;     keys_to 'Attention!' n;           wait_gone 'Attention!'     # MESSAGE 1: No
press_next Tab Return; keys_to 'Question!' Tab space;    wait_gone 'Question!'      # MESSAGE 2: "5"
press_next Tab Return; keys_to Stop Return;              wait_gone Stop             # STOP 1: go on
press_next Tab Return; keys_to Stop Return;              wait_gone Stop             # STOP 2: go on
press_next Tab Return; keys_to 'Question!' Tab Tab space; wait_gone 'Question!'     # MESSAGE 3: Maybe
press_next Tab Return; keys_to 'Question!' Tab space;    wait_gone 'Question!'      # MESSAGE 4: Cancel
press_next Return;     keys_to 'Question!' Return                                   # MESSAGE 4: Accept
wait_gone "$testTitle"
shot "$pictures" demo_frame.png "$frameTitle"
exit_program

test="WindowTitle=$testTitle"
expected=$(cat <<END
USER:Tester|MESSAGE:|WindowTitle=$frameTitle|MessageTitle=Start|MessageText=Wellcome ...|ShownButtons=OK|PressedButton=OK
USER:Tester|MESSAGE:|$test|MessageTitle=Attention!|MessageText=Do you want to save ?|ShownButtons=YES|NO|PressedButton=NO
USER:Tester|MESSAGE:|$test|MessageTitle=Question!|MessageText=(2 + 3) ?|ShownButtons=3|5|6|7|PressedButton=5
USER:Tester|STOP:|$test|StopText=Exit?
USER:Tester|Previous STOP Ignored.
USER:Tester|STOP:|$test|StopText=Error saving file...
USER:Tester|Previous STOP Ignored.
USER:Tester|MESSAGE:|$test|MessageTitle=Question!|MessageText=Are you sure to cancel this opration ?|ShownButtons=Yes|No|Maybe|PressedButton=Maybe
USER:Tester|MESSAGE:|$test|MessageTitle=Question!|MessageText=Close this widnow ?|ShownButtons=Accept|Cancel|PressedButton=Cancel
USER:Tester|MESSAGE:|$test|MessageTitle=Question!|MessageText=Close this widnow ?|ShownButtons=Accept|Cancel|PressedButton=Accept
END
)
got=$(entries)
if [ "$got" != "$expected" ]; then
  echo "the log differs from what the user did:"
  diff <(echo "$expected") <(echo "$got") || true
  exit 1
fi
echo "demo played and logged: $(echo "$expected" | wc -l) entries, 1 passed, 0 failed"
