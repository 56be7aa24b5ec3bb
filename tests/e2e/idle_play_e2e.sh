#!/usr/bin/env bash
# Play after a long idle open is heard promptly, not after a silence as long as the idle. The
# program opens a file at start-up and sits there (VELODRA_IDLE_SECONDS, 45 by default); F2
# must then be heard within a few seconds on a PulseAudio null sink, recorded from its monitor
# (how soon exactly is bench_engine's figure). While the file is open but not playing, and after
# Stop, the program keeps no stream open on the sound server.
source "$(dirname "$0")/lib.sh"
source "$E2E_DIR/pulse.sh"
start_xvfb
start_pulse
idle=${VELODRA_IDLE_SECONDS:-45}

lib="$WORK/Music"
tone "$lib/Album/01.mp3" 10 -c:a libmp3lame -b:a 192k -metadata title="First Song"

"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
win=$(wait_window '^Velodra') || fail "no window"
wait_caption "$win" "Velodra :: First Song" || fail "no caption of the first file"

rec="$WORK/monitor.raw"
start_recording "$rec"
sleep "$idle"
idle_streams=$(sink_inputs)

xdotool windowfocus --sync "$win" 2>/dev/null || true
offset=$(stat -c %s "$rec")
xdotool key --clearmodifiers F2
# Well below the idle, so that a stream that kept its clock running while idle still fails.
wait_for 5 heard_after "$rec" "$offset" || fail "nothing heard within 5 s of F2"
[ "$idle_streams" -eq 0 ] || fail "$idle_streams streams stayed open while the file sat open"
[ "$(sink_inputs)" -eq 1 ] || fail "$(sink_inputs) streams while playing"

xdotool key --clearmodifiers F4
no_stream() { [ "$(sink_inputs)" -eq 0 ]; }
wait_for 5 no_stream || fail "a stream stayed open after Stop"

close_window "$win"
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "idle play e2e passed"
