#!/usr/bin/env bash
# The sound device hammered while an album of 5 s tracks advances by itself on a real sound
# server: MPRIS SetPosition 0 every 50 ms, F4/F2 alternated, and second starts with a folder
# once a second. Each once took the pipeline down while the next file was being handed over,
# and the sound server's client library aborted. After each round the program must still be
# alive and answer on the bus. STRESS_SEEKS, STRESS_KEYS and STRESS_STARTS set the counts.
source "$(dirname "$0")/bus.sh"
source "$(dirname "$0")/lib.sh"
source "$E2E_DIR/pulse.sh"
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
pc() { timeout 5 playerctl -p velodra "$@" >/dev/null 2>&1; }

# stress WHAT COUNT COMMAND...: runs the command COUNT times; the program must live through it
stress() {
  local what=$1 count=$2 i
  shift 2
  pc play || true
  for i in $(seq "$count"); do
    "$@"
    kill -0 "$pid" 2>/dev/null || { tail -n 5 "$WORK/velodra.log" >&2; fail "died during $what after $i"; }
  done
  pc status || fail "no answer on the bus after $what"
  echo "$what: $count survived"
}
set_position_0() { pc position 0 || true; sleep 0.05; }
stop_play() { xdotool key F4; sleep 0.05; xdotool key F2; sleep 0.15; }
second_start() { timeout 10 "$VELODRA" "$lib" >>"$WORK/second.log" 2>&1 || true; sleep 1; pc play || true; }

sleep 1
stress "SetPosition 0" "${STRESS_SEEKS:-300}" set_position_0
xdotool windowfocus --sync "$win" 2>/dev/null || true
stress "F4/F2 pairs" "${STRESS_KEYS:-200}" stop_play
stress "second starts" "${STRESS_STARTS:-40}" second_start

close_window "$win"
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "device stress e2e passed"
