#!/usr/bin/env bash
# A frame and an MDI child on a second thread under a real X server: typing reaches the child
# while the frame's thread waits, and closing the frame's window (the close box's message, as a
# window manager sends it) ends the program by itself, with the child still open, within a
# second.
set -euo pipefail
binary=$1
out=$(mktemp)
cleanup=$out
source "$(dirname "$0")/../../support/xvfb.sh"

"$binary" >"$out" 2>/dev/null &
app=$!

frame=$(timeout 30 xdotool search --sync --name '^Frame under X$' | head -n 1)
[ -n "$frame" ] || { echo "no frame appeared"; exit 1; }
# The child opens from the frame's first event, on its own thread.
for _ in $(seq 100); do grep -q '^child open$' "$out" && break; sleep 0.1; done
grep -q '^child open$' "$out" || { echo "the child did not open:"; cat "$out"; exit 1; }
xdotool windowfocus --sync "$frame"
xdotool type --delay 20 42
xdotool key Tab
for _ in $(seq 100); do grep -q '^accepted 42$' "$out" && break; sleep 0.1; done
grep -q '^accepted 42$' "$out" || { echo "typing did not reach the child:"; cat "$out"; exit 1; }

# The close box: WM_DELETE_WINDOW in a client message, as a window manager sends it.
python3 - "$frame" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = ClientMessage(type=33, window=window, message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0), format=32)
event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
PY

# Generous: the check is that it ends by itself, not how fast.
for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then echo "program still runs after its frame was closed:"; cat "$out"; exit 1; fi
wait $app || { echo "program failed:"; cat "$out"; exit 1; }
grep -q '^child closed$' "$out" || { echo "the child was not closed down:"; cat "$out"; exit 1; }
grep -q '^ended 0$' "$out" || { echo "RunProgram did not return 0:"; cat "$out"; exit 1; }
echo "frame and child under X: 1 passed, 0 failed"
