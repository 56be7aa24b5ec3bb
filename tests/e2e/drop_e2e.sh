#!/usr/bin/env bash
# Dropping on the real window through a real X drag (XDND) from another program: a dropped
# folder becomes the new library, only the first dragged item counts, a dropped file that is not
# audio gives the error message box and leaves the library alone (its exact text is checked by
# the unit test of drops; a message box here cannot hand its text out), a dropped audio file
# plays. Screenshots of the drops stay in BUILD_DIR/screenshots.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
DRAGSOURCE="$BUILD_DIR/tests/e2e/velodra-dragsource"
[ -x "$DRAGSOURCE" ] || fail "no $DRAGSOURCE (build the velodra-dragsource target)"
start_xvfb
SHOTS="$BUILD_DIR/screenshots"
mkdir -p "$SHOTS"
rm -f "$SHOTS"/drop-*.png

mp3() { tone "$1" 1 -c:a libmp3lame -b:a 64k -metadata title="$2"; }
first="$WORK/First Library"
second="$WORK/Second Library"
third="$WORK/Third Library"
mp3 "$first/A/one.mp3" "First Song"
mp3 "$second/Alpha/a.mp3" "Dropped Song"
mp3 "$second/Beta/b.mp3" "Later Song"
mp3 "$third/C/c.mp3" "Third Song"
echo "not audio" >"$WORK/notes.txt"

"$VELODRA" "$first" >"$WORK/velodra.log" 2>&1 &
app=$!
PIDS+=($app)
win=$(wait_window '^Velodra') || fail "no Velodra window"
wait_caption "$win" "Velodra :: First Song" || fail "caption is '$(window_name "$win")'"

client_geometry "$win"
# Inside the display panel, away from the buttons and lists.
DROP_X=$(( X + 100 )) DROP_Y=$(( Y + 40 ))
SRC_X=700 SRC_Y=400 # the source window's top left; its middle is 60,30 further

# drag PATH... : drags the paths from a fresh source window onto the display; sets DROP_ACTION
drag() {
  "$DRAGSOURCE" "$SRC_X" "$SRC_Y" "$@" >"$WORK/dragsource.log" 2>&1 &
  local src=$!
  PIDS+=($src)
  wait_window '^velodra-dragsource$' 10 >/dev/null || fail "no drag source window"
  sleep 0.3
  local sx=$(( SRC_X + 60 )) sy=$(( SRC_Y + 30 ))
  xdotool mousemove "$sx" "$sy"
  sleep 0.2
  xdotool mousedown 1
  sleep 0.3
  # Small steps, so the drag sees the pointer travel and the target gets position messages.
  local i
  for i in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $(( sx + (DROP_X - sx) * i / 8 )) $(( sy + (DROP_Y - sy) * i / 8 ))
    sleep 0.1
  done
  xdotool mousemove $(( DROP_X + 2 )) "$DROP_Y"
  sleep 0.2
  xdotool mousemove "$DROP_X" "$DROP_Y"
  sleep 0.3
  xdotool mouseup 1
  wait_exit "$src" 10
  [ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/dragsource.log"; fail "drag source exited with $EXIT_CODE"; }
  DROP_ACTION=$(sed -n 's/^drop action: //p' "$WORK/dragsource.log")
}

shot() { sleep 0.5; import -window root "$SHOTS/drop-$1.png"; }

wait_gone '^Velodra$' 1 || fail "a message box before any drop"

# 1. A folder, with another folder after it: the first one becomes the library.
drag "$second" "$third"
[ "$DROP_ACTION" = "copy" ] || { cat "$WORK/dragsource.log"; fail "folder drop: action '$DROP_ACTION'"; }
wait_caption "$win" "Velodra :: Dropped Song" ||
  fail "after the folder drop the caption is '$(window_name "$win")'"
shot folder
wait_gone '^Velodra$' 1 || fail "a message box after a folder drop"

# 2. A file that is not audio (a folder after it must not count either): a message box, library
# unchanged.
drag "$WORK/notes.txt" "$third"
[ "$DROP_ACTION" = "copy" ] || { cat "$WORK/dragsource.log"; fail "file drop: action '$DROP_ACTION'"; }
box=$(first_window '^Velodra$') || fail "no message box after a file drop (caption '$(window_name "$win")')"
shot file
# The box cannot hand out its text here, so check it is the error box: the red icon is in it.
client_geometry "$box"
red=$(convert "$SHOTS/drop-file.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
        -fx '(r>0.75 && g<0.3 && b<0.3) ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:)
[ "$red" -ge 100 ] || fail "the message box shows only $red red icon pixels"
xdotool key Return
wait_gone '^Velodra$' || fail "the message box stayed after Return"
[ "$(window_name "$win")" = "Velodra :: Dropped Song" ] ||
  fail "after the file drop the caption is '$(window_name "$win")'"
kill -0 "$app" 2>/dev/null || fail "velodra died"

# 3. An audio file of the library: it plays (its pop-up is captioned like a box, so no box check).
drag "$second/Beta/b.mp3"
wait_caption "$win" "Velodra :: Later Song" ||
  fail "after the audio file drop the caption is '$(window_name "$win")'"
shot audio

close_window "$win"
wait_exit "$app" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/velodra.log"; fail "velodra exited with $EXIT_CODE"; }
grep -q "$second" "$XDG_CONFIG_HOME/velodra.ini" || fail "the dropped folder is not the saved root"
echo "drop e2e passed"
