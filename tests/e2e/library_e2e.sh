#!/usr/bin/env bash
# The library follows the disk and keeps the user's place, with the real program under Xvfb: an
# album copied into the root while a file plays is reached with Next Folder within 10 s; a
# folder added while closed is there at the next start, which resumes the same file; a start
# while the root is renamed away keeps the place and comes back when it returns; a file from
# outside the root plays as a visit and the next start is back in the library. The snapshot the
# program keeps lists what a scan of the root lists.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
ini="$XDG_CONFIG_HOME/velodra.ini"
for t in "A/a1:A One" "A/a2:A Two" "B/b1:B One" "new/C/c1:C One" "new/D/d1:D One" \
         "outside/o1:Outside One"; do
  dir=$lib
  case $t in new/* | outside/*) dir=$WORK ;; esac
  tone "$dir/${t%%:*}.mp3" 60 -c:a libmp3lame -b:a 64k -metadata title="${t#*:}"
done

# start [ARG]: the program, its window in $win
start() {
  "$VELODRA" "$@" >>"$WORK/run.log" 2>&1 &
  app=$!
  PIDS+=($app)
  win=$(wait_window '^Velodra') || fail "no Velodra window"
}
stop() {
  close_window "$win"
  wait_exit "$app" 15
  [ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/run.log"; fail "exit $EXIT_CODE"; }
}

# An album copied in while a file plays: Next Folder reaches it within 10 s.
start "$lib"
wait_caption "$win" "Velodra :: A One"
keys F2
cp -r "$WORK/new/C" "$lib/C"
copied=$EPOCHREALTIME
# reached TITLE: Next Folder until the caption reads "Velodra :: TITLE"
reached() {
  [ "$(window_name "$win")" = "Velodra :: $1" ] || keys ctrl+F7
  [ "$(window_name "$win")" = "Velodra :: $1" ]
}
wait_for 10 reached "C One" || fail "the copied album was not reached: $(window_name "$win")"
echo "copied album reached after $(ms_since "$copied") ms"
stop

# A folder added while closed: there at the next start, which resumes the same file.
cp -r "$WORK/new/D" "$lib/D"
start
wait_caption "$win" "Velodra :: C One"
wait_for 10 reached "D One" || fail "the folder added while closed is missing"
stop
diff <("$BUILD_DIR/tools/velodra-scan" "$lib") \
  <("$BUILD_DIR/tools/velodra-scan" --snapshot "$XDG_CACHE_HOME/velodra/library.snapshot" \
    2>/dev/null) || fail "the snapshot lists another library (above)"

# The root renamed away: a start and a close lose nothing; when it is back, the place is.
mv "$lib" "$lib.away"
start
sleep 1
stop
grep -qx "Root=$lib" "$ini" && grep -qx "FileName=d1.mp3" "$ini" && grep -qx "Playing=1" "$ini" ||
  { cat "$ini"; fail "the place was lost while the root was away"; }
start
sleep 1
mv "$lib.away" "$lib"
wait_caption "$win" "Velodra :: D One" 150

# A file from outside the root: a visit; the next start is back in the library.
timeout 10 "$VELODRA" "$WORK/outside/o1.mp3" >>"$WORK/run.log" 2>&1 || fail "hand-over failed"
wait_caption "$win" "Velodra :: Outside One"
stop
grep -qx "Root=$lib" "$ini" || { cat "$ini"; fail "a visit replaced the saved root"; }
start
wait_caption "$win" "Velodra :: D One"
stop
echo "library e2e passed"
