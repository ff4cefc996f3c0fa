# Sourced by the X session tests of the product: starts quibbet_demo under Xvfb in a scratch
# current directory and offers the user's steps, each by key presses to the window in front.
# The caller sets `binary`; the log lies beside it and is removed first. An installed layout's
# test sets `log` (where the link beside the binary leads) and `keep_log`, `run_as` (a command
# prefix: another user) and `binary_args`.
binary=$(realpath "$binary")
dir=$(dirname "$binary")
log=${log:-"$dir/Quibbet_.txt"}
[ -n "${keep_log:-}" ] || rm -f "$log"
scratch=$(mktemp -d)
cleanup="-r $scratch ${cleanup:-}"
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"
cd "$scratch"
# shellcheck disable=SC2086 # both are lists of words
${run_as:-} "$binary" ${binary_args:-} &
app=$!

frameTitle='Kestro Quibbet demo v1.0 -  Nov/01/2019 - https://quibbet.example'
testTitle='Message Logs Test ...'

# The window of that exact title, once shown.
find_window() {
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$(printf '%s' "$1" | sed 's/[.]/\\./g')\$" | tail -n 1)
  [ -n "$window" ] || { echo "no window \"$1\" appeared"; exit 1; }
  echo "$window"
}

# wait_until <what> <check...>: waits up to 30 s for the check to hold, else says what failed.
wait_until() {
  local what=$1
  shift
  for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done
  echo "$what"; exit 1
}

# Keys to the window of that title.
keys_to() {
  local window
  window=$(find_window "$1")
  shift
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 0.3
  xdotool key --delay 120 "$@"
}

# Waits until no window of that title is shown.
wait_gone() {
  local pattern
  pattern="^$(printf '%s' "$1" | sed 's/[.]/\\./g')\$"
  for _ in $(seq 100); do xdotool search --onlyvisible --name "$pattern" >/dev/null 2>&1 || return 0; sleep 0.1; done
  echo "window \"$1\" did not close"; exit 1
}

# The login screen: the name typed over the pre-filled one (none: left as it is), then Enter,
# which presses Accept.
login() {
  if [ $# -gt 0 ]; then
    keys_to Login ctrl+a BackSpace
    xdotool type --delay 80 "$1"
  fi
  keys_to Login Return
  wait_gone Login
}

shot() {  # shot <folder> <file> <title>: that window's picture, when a folder was given
  [ -z "$1" ] && return 0
  sleep 0.5
  import -window "$(find_window "$3")" "$1/$2" || { echo "no picture of \"$3\""; exit 1; }
}

# "Exit" from the frame's menu (the last item of Browse), then the program must end with 0.
exit_program() {
  keys_to "$frameTitle" alt+b Up Return
  for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
  if kill -0 $app 2>/dev/null; then echo "program did not end after Exit"; exit 1; fi
  wait $app || { echo "program failed"; exit 1; }
  app=
}

# The log's entries as lines "USER:<user>|<body lines joined by |>", one per entry.
entries() {
  [ -f "$log" ] || { echo "no log beside the binary at $log"; exit 1; }
  tr -d '\r' < "$log" | awk '
    /^[A-Z][a-z][a-z] [0-9][0-9], [0-9][0-9][0-9][0-9] [0-9:]+ USER:/ {
      if (entry != "") print entry
      user = $0; sub(/^.* USER:/, "", user); sub(/  ComputerName:.*$/, "", user)
      entry = "USER:" user; next }
    { sub(/^  /, ""); entry = entry "|" $0 }
    END { if (entry != "") print entry }'
}
