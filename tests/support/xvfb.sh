# Sourced by the X session tests: starts Xvfb on a display it picks itself and exports DISPLAY.
# The caller sets `app` to the program's pid once started; both are killed on exit, and the
# files named in `cleanup` are removed.
numberFile=$(mktemp)
app=
cleanup=${cleanup:-}
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; [ -n "$app" ] && kill $app 2>/dev/null || true; rm -f "$numberFile" $cleanup' EXIT
for _ in $(seq 100); do [ -s "$numberFile" ] && break; sleep 0.1; done
[ -s "$numberFile" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$numberFile")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
unset QT_QPA_PLATFORM
