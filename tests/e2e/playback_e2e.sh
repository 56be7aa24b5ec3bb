#!/usr/bin/env bash
# The real program with real GStreamer on a PulseAudio server with a null sink: F2 plays (the
# caption names the title), F7 moves on, a 6 s track ends and the next starts by itself, pause
# and stop cork or remove the stream.
source "$(dirname "$0")/lib.sh"
start_xvfb

# A private sound server whose only sink is a null sink.
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
  --load="module-null-sink sink_name=velodra_null" --load="module-native-protocol-unix" \
  --log-target=file:"$WORK/pulse.log" 2>/dev/null || fail "pulseaudio did not start"
trap 'pulseaudio --kill 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || fail "no sound server"

lib="$WORK/Music"
tone "$lib/Album/01.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="First Song"
tone "$lib/Album/02.mp3" 6 -c:a libmp3lame -b:a 128k -metadata title="Second Song"
tone "$lib/Album/03.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="Third Song"

"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
win=$(wait_window '^Velodra') || fail "no window"

press() { xdotool windowfocus --sync "$win" 2>/dev/null || true; xdotool key --clearmodifiers "$1"; }
wait_caption() { # TEXT SECONDS
  for _ in $(seq $(($2 * 10))); do
    [ "$(window_name "$win")" = "$1" ] && return 0
    sleep 0.1
  done
  fail "caption is '$(window_name "$win")', not '$1'"
}
streams() { pactl list sink-inputs 2>/dev/null | grep -c '^Sink Input' || true; }
corked() { pactl list sink-inputs 2>/dev/null | grep -c 'Corked: yes' || true; }
wait_streams() { # COUNT SECONDS
  for _ in $(seq $(($2 * 10))); do
    [ "$(streams)" -eq "$1" ] && return 0
    sleep 0.1
  done
  fail "$(streams) streams, not $1"
}

wait_caption "Velodra :: First Song" 10
[ "$(streams)" -eq 0 ] || [ "$(corked)" -eq "$(streams)" ] || fail "sound before Play"
press F2
wait_streams 1 5
[ "$(corked)" -eq 0 ] || fail "stream corked while playing"

press F7
wait_caption "Velodra :: Second Song" 5
wait_streams 1 5
# The 6 s track ends and the next one starts by itself.
wait_caption "Velodra :: Third Song" 15
wait_streams 1 5

press F3
for _ in $(seq 30); do [ "$(streams)" -eq 0 ] || [ "$(corked)" -ge 1 ] && break; sleep 0.1; done
[ "$(streams)" -eq 0 ] || [ "$(corked)" -ge 1 ] || fail "stream neither gone nor corked after Pause"
press F3
press F4
for _ in $(seq 30); do [ "$(streams)" -eq 0 ] || [ "$(corked)" -ge 1 ] && break; sleep 0.1; done
[ "$(streams)" -eq 0 ] || [ "$(corked)" -ge 1 ] || fail "stream neither gone nor corked after Stop"

close_window "$win"
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "playback e2e passed"
