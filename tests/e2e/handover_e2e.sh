#!/usr/bin/env bash
# A second start hands its folder to the running copy and leaves with 0: once over a private
# session bus, once without any bus (the socket beside the lock). A relative folder switches the
# first copy's caption to that folder's first title; no argument just raises it; a file gets the
# running copy's "Invalid folder: " box and its library stays; a lock whose holder never answers
# still lets the second copy leave with 0 within a second.
if [ -z "${HANDOVER_MODE:-}" ]; then
  env -u DBUS_SESSION_BUS_ADDRESS HANDOVER_MODE=socket bash "$0" "$@" || exit 1
  HANDOVER_MODE=bus bash "$0" "$@" || exit 1
  echo "handover e2e passed (socket and bus)"
  exit 0
fi
[ "$HANDOVER_MODE" = bus ] && source "$(dirname "$0")/bus.sh"
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
echo "hand-over over the $HANDOVER_MODE"

tone "$WORK/Music/A/01.mp3" 3 -c:a libmp3lame -b:a 128k -metadata title="First Song"
tone "$WORK/Other Music/X/01.mp3" 3 -c:a libmp3lame -b:a 128k -metadata title="Other Song"
echo "not audio" >"$WORK/not audio.txt"

"$VELODRA" "$WORK/Music" >"$WORK/first.log" 2>&1 &
first=$!
PIDS+=($first)
win=$(wait_window '^Velodra ::') || fail "no window"
# second ARGS...: runs a second copy, which must leave with 0 within a bound; sets ELAPSED_MS
second() {
  local start rc=0
  start=$(date +%s%N)
  timeout 10 "$VELODRA" "$@" >>"$WORK/second.log" 2>&1 || rc=$?
  ELAPSED_MS=$((($(date +%s%N) - start) / 1000000))
  echo "second copy ($*): exit $rc after $ELAPSED_MS ms"
  [ "$rc" -eq 0 ] || fail "second copy ($*) exited with $rc"
}
wait_caption "$win" "Velodra :: First Song"

# A relative folder: made absolute in the second copy's own current folder.
cd "$WORK"
second "Other Music"
cd - >/dev/null
[ "$ELAPSED_MS" -lt 1500 ] || fail "second copy took $ELAPSED_MS ms"
wait_caption "$win" "Velodra :: Other Song"

second
[ "$ELAPSED_MS" -lt 1500 ] || fail "second copy without argument took $ELAPSED_MS ms"
kill -0 "$first" 2>/dev/null || fail "first copy died"

# Not audio: the running copy shows the box (captioned "Velodra"); its library stays.
second "$WORK/not audio.txt"
box=$(wait_window '^Velodra$' 10) || fail "no box for a file that is not audio"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
wait_gone '^Velodra$' || true
wait_caption "$win" "Velodra :: Other Song"
# An audio file, as a file manager's "Open With" hands it: it plays.
second "$WORK/Music/A/01.mp3"
wait_caption "$win" "Velodra :: First Song"

close_window "$win"
wait_exit "$first" 15
[ "$EXIT_CODE" -eq 0 ] || fail "first copy exited with $EXIT_CODE"

# A lock held by something that never answers, beside a socket nobody listens on.
rm -f "$XDG_RUNTIME_DIR/Velodra.socket"
python3 -c '
import fcntl, socket, sys, time
lock = open(sys.argv[1])
fcntl.flock(lock, fcntl.LOCK_EX)
socket.socket(socket.AF_UNIX).bind(sys.argv[2])
print("ready", flush=True)
time.sleep(30)' "$XDG_RUNTIME_DIR/Velodra.lock" "$XDG_RUNTIME_DIR/Velodra.socket" >"$WORK/holder.log" &
PIDS+=($!)
for _ in $(seq 50); do grep -q ready "$WORK/holder.log" && break; sleep 0.1; done
second "$WORK/Music"
[ "$ELAPSED_MS" -lt 2000 ] || fail "unanswered hand-over took $ELAPSED_MS ms"
echo "handover e2e ($HANDOVER_MODE) passed"
