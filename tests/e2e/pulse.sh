# A private PulseAudio server whose only sink is a null sink, and recordings of that sink's
# monitor, for the end-to-end tests that listen to what the program plays. Source after lib.sh.

start_pulse() {
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=velodra_null rate=44100" \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --log-target=file:"$WORK/pulse.log" 2>/dev/null || fail "pulseaudio did not start"
  trap 'pulseaudio --kill 2>/dev/null || true; cleanup' EXIT
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "no sound server"
}

# The streams the sound server holds for its clients, playing or corked.
sink_inputs() { pactl list short sink-inputs 2>/dev/null | wc -l; }
# Of those, the ones paused (corked) on the server.
corked_inputs() { pactl list sink-inputs 2>/dev/null | grep -c 'Corked: yes' || true; }

# start_recording FILE: the monitor as raw 16-bit stereo at 44.1 kHz, read every 5 ms, so that
# the file's size tells how much has been heard so far.
start_recording() {
  parec -d velodra_null.monitor --raw --format=s16le --rate=44100 --channels=2 \
    --latency-msec=5 >"$1" 2>/dev/null &
  PIDS+=($!)
  for _ in $(seq 50); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  fail "the monitor recording did not start"
}

# sound_after FILE BYTE_OFFSET: ms from that point of the recording to the first sound, or "none".
sound_after() { python3 "$E2E_DIR/sound_onset.py" "$1" "$2"; }
# heard_after FILE BYTE_OFFSET: 0 when the recording holds sound after that point.
heard_after() { [ "$(sound_after "$1" "$2")" != none ]; }
