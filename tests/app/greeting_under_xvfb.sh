#!/usr/bin/env bash
# The product under a real X server: quibbet_demo opens its frame and the login screen; Enter
# there keeps "DemoUser", Enter on the greeting answers its lone OK, the message test window is
# cancelled and "Exit" ends the program. The log beside the binary then holds the greeting only.
set -euo pipefail
binary=$1
shot=${2:-}
source "$(dirname "$0")/demo_steps.sh"

login
find_window Start >/dev/null
if [ -n "$shot" ]; then import -window root "$shot" 2>/dev/null || true; fi
keys_to Start Return
keys_to "$testTitle" alt+c
wait_gone "$testTitle"
exit_program

expected="USER:DemoUser|MESSAGE:|WindowTitle=$frameTitle|MessageTitle=Start|MessageText=Wellcome ...|ShownButtons=OK|PressedButton=OK"
got=$(entries)
[ "$got" == "$expected" ] || { echo "bad log:"; cat -A "$log"; exit 1; }
echo "greeting logged: 1 passed, 0 failed"
