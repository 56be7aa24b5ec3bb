#!/usr/bin/env bash
# Where the window lands under a real window manager: a first start puts the frame's outer
# corner at the design position (199, 124); a place the user moved it to comes back exactly
# at each of 10 restarts in a row, and Left/Top keep that corner.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
tone "$lib/A/one.mp3" 1 -c:a libmp3lame -b:a 64k -metadata title="One"
ini="$XDG_CONFIG_HOME/velodra.ini"

# start -> sets app and win, once the first title shows
start() {
  "$VELODRA" "$@" >"$WORK/run.log" 2>&1 &
  app=$!
  PIDS+=($app)
  win=$(wait_window '^Velodra') || fail "no window"
  wait_caption "$win" "Velodra :: One" 100 || fail "no first title"
}
stop() {
  close_window "$win"
  wait_exit "$app" 10
  [ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/run.log"; fail "exit code $EXIT_CODE"; }
}
saved() { echo "$(sed -n 's/^Left=//p' "$ini"),$(sed -n 's/^Top=//p' "$ini")"; }

start "$lib"
[ "$(frame_corner "$win")" = "199,124" ] || fail "first start: the frame is at $(frame_corner "$win")"
# Moved as a user moves it: the window manager places the frame.
xdotool windowmove "$win" 350 250
for _ in $(seq 30); do [ "$(frame_corner "$win")" = "350,250" ] && break; sleep 0.1; done
[ "$(frame_corner "$win")" = "350,250" ] || fail "the move left the frame at $(frame_corner "$win")"
stop
[ "$(saved)" = "350,250" ] || fail "saved $(saved) after the move"

for run in $(seq 10); do
  start
  [ "$(frame_corner "$win")" = "350,250" ] || fail "restart $run: the frame is at $(frame_corner "$win")"
  stop
  [ "$(saved)" = "350,250" ] || fail "restart $run: saved $(saved)"
done

# Closed while minimised, no place is kept: the next start is at the design position again.
start
xdotool windowminimize --sync "$win"
stop
grep -q '^Left=' "$ini" && fail "a minimised window's place was saved"
sed -i 's/^Minimized=1/Minimized=0/' "$ini"
start
[ "$(frame_corner "$win")" = "199,124" ] || fail "after a minimised close the frame is at $(frame_corner "$win")"
stop
echo "placement e2e passed"
