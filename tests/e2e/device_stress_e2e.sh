#!/usr/bin/env bash
# The sound device hammered while an album of 5 s tracks advances by itself on a real sound
# server: MPRIS SetPosition 0 every 50 ms, F4/F2 alternated, and second starts with a folder
# once a second. Each of these once took the pipeline down while the next file was being handed
# over, and the sound server's client library aborted. After each round the program must still
# be alive and answer on the bus. STRESS_SEEKS, STRESS_KEYS and STRESS_STARTS set the counts.
source "$(dirname "$0")/bus.sh"
source "$(dirname "$0")/lib.sh"
source "$E2E_DIR/pulse.sh"
seeks=${STRESS_SEEKS:-300}
keys=${STRESS_KEYS:-200}
starts=${STRESS_STARTS:-40}
start_xvfb
start_pulse

lib="$WORK/Album"
mkdir -p "$lib"
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi \
  -i "sine=frequency=440:sample_rate=44100:duration=5" -ac 2 "$WORK/t.wav"
for n in 1 2 3 4 5 6; do lame --quiet -b 128 --tt "Track $n" "$WORK/t.wav" "$lib/0$n.mp3"; done

printf '[Config]\nPlayNotification=0\nLoop=1\n' >"$XDG_CONFIG_HOME/velodra.ini"
"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
win=$(wait_window '^Velodra ::' 20) || fail "no window"
pc() { playerctl -p velodra "$@"; }
# alive WHAT COUNT: the program runs and answers on the bus
alive() {
  if ! kill -0 "$pid" 2>/dev/null; then
    tail -n 20 "$WORK/velodra.log" >&2
    fail "died during $1 after $2"
  fi
  if ! timeout 5 playerctl -p velodra status >/dev/null 2>&1; then
    [ -n "${STRESS_DEBUG:-}" ] && gdb -p "$pid" -batch -ex "thread apply all bt" >"$STRESS_DEBUG" 2>&1
    fail "no answer after $1 ($2)"
  fi
}
playing() {
  timeout 5 playerctl -p velodra play >/dev/null 2>&1 || true
}

playing
sleep 1
for i in $(seq "$seeks"); do
  timeout 5 playerctl -p velodra position 0 >/dev/null 2>&1 || true
  sleep 0.05
  kill -0 "$pid" 2>/dev/null || alive "SetPosition 0" "$i calls"
done
alive "SetPosition 0" "$seeks calls"
echo "SetPosition 0: $seeks calls survived"

xdotool windowfocus --sync "$win" 2>/dev/null || true
for i in $(seq "$keys"); do
  xdotool key F4
  sleep 0.05
  xdotool key F2
  sleep 0.15
  kill -0 "$pid" 2>/dev/null || alive "F4/F2" "$i pairs"
done
alive "F4/F2" "$keys pairs"
echo "F4/F2: $keys pairs survived"

playing
for i in $(seq "$starts"); do
  timeout 10 "$VELODRA" "$lib" >>"$WORK/second.log" 2>&1 || true
  sleep 1
  kill -0 "$pid" 2>/dev/null || alive "second starts" "$i starts"
  playing
done
alive "second starts" "$starts starts"
echo "second starts: $starts survived"

close_window "$win"
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "device stress e2e passed"
