#!/usr/bin/env bash
# The product under a real X server: quibbet_demo shows the greeting box; pressing Enter on it
# (its lone OK) ends the program and leaves the greeting's entry in Quibbet_.txt beside the binary.
set -euo pipefail
binary=$1
shot=${2:-}
dir=$(dirname "$binary")
log="$dir/Quibbet_.txt"
rm -f "$log"

# Xvfb picks a free display itself.
source "$(dirname "$0")/../support/xvfb.sh"

"$binary" &
app=$!

window=$(timeout 30 xdotool search --sync --name '^Start$' | head -n 1)
[ -n "$window" ] || { echo "no greeting window appeared"; exit 1; }
if [ -n "$shot" ]; then import -window root "$shot" 2>/dev/null || true; fi
xdotool windowfocus --sync "$window" key Return

for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then echo "program did not end after OK"; exit 1; fi
wait $app || { echo "program failed"; exit 1; }

[ -f "$log" ] || { echo "no log beside the binary at $log"; exit 1; }
first=$(head -n 1 "$log")
[[ "$first" =~ ^[A-Z][a-z]{2}\ [0-9]{2},\ [0-9]{4}\ [0-9]{2}:[0-9]{2}:[0-9]{2}\ USER:\ \ ComputerName:.*\ $'\r'$ ]] \
  || { echo "bad header line: $first"; exit 1; }
expected=$'  MESSAGE:\r\n  WindowTitle=\r\n  MessageTitle=Start\r\n  MessageText=Wellcome ...\r\n  ShownButtons=OK\r\n  PressedButton=OK\r'
body=$(tail -n +2 "$log")
[ "$body" == "$expected" ] || { echo "bad entry body:"; cat -A "$log"; exit 1; }
echo "greeting logged: 1 passed, 0 failed"
