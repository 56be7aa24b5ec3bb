#!/usr/bin/env bash
# The real program with real GStreamer on a PulseAudio server with a null sink: F2 plays (the
# caption names the title), F7 moves on, a 6 s track ends and the next starts by itself, Ctrl+J
# finds a file by words of its folder and name and Return plays it, pause and stop cork or
# remove the stream. The sound device answers on its own thread, so each state
# is waited for (seconds) rather than read the instant the key is typed.
source "$(dirname "$0")/lib.sh"
source "$E2E_DIR/pulse.sh"
start_xvfb
start_pulse

lib="$WORK/Music"
tone "$lib/Album/01.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="First Song"
tone "$lib/Album/02.mp3" 6 -c:a libmp3lame -b:a 128k -metadata title="Second Song"
tone "$lib/Album/03.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="Third Song"

"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
win=$(wait_window '^Velodra') || fail "no window"

press() { xdotool windowfocus --sync "$win" 2>/dev/null || true; xdotool key --clearmodifiers "$1"; }
caption() { wait_caption "$win" "Velodra :: $1" $(($2 * 10)) || fail "no '$1' within $2 s"; }
silent() { [ "$(sink_inputs)" -eq 0 ] || [ "$(corked_inputs)" -eq "$(sink_inputs)" ]; }
playing() { [ "$(sink_inputs)" -eq 1 ] && [ "$(corked_inputs)" -eq 0 ]; }
held() { [ "$(sink_inputs)" -eq 0 ] || [ "$(corked_inputs)" -ge 1 ]; }
streams() { echo "$(sink_inputs) streams, $(corked_inputs) corked"; }

caption "First Song" 10
silent || fail "sound before Play: $(streams)"
press F2
wait_for 5 playing || fail "not playing after F2: $(streams)"

press F7
caption "Second Song" 5
wait_for 5 playing || fail "not playing after F7: $(streams)"
# The 6 s track ends and the next one starts by itself.
caption "Third Song" 15
wait_for 5 playing || fail "not playing after the track change: $(streams)"

# Jump to File: the words typed, Return, and the file found plays on.
press ctrl+j
jump=$(wait_window '^Jump to File$' 10) || fail "no Jump to File window after Ctrl+J"
xdotool windowfocus --sync "$jump" 2>/dev/null || true
xdotool type --delay 30 "ALBUM 01"
xdotool key Return
caption "First Song" 5
wait_for 5 playing || fail "not playing after the jump: $(streams)"

press F3
wait_for 5 held || fail "stream neither gone nor corked after Pause: $(streams)"
press F3
wait_for 5 playing || fail "not playing after Resume: $(streams)"
press F4
wait_for 5 held || fail "stream neither gone nor corked after Stop: $(streams)"

close_window "$win"
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "playback e2e passed"
