#!/usr/bin/env bash
# Keys work from the first moment under a real window manager: 20 fresh starts, each with a
# key typed (XTEST) as soon as the first title shows, each must act; the scan's loading window
# never takes the activation. Then the pop-up: keys typed as a pop-up appears (after Play, a
# file change and an automatic move to the next track) act, and the active window stays ours.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
for f in A B; do
  for i in 1 2 3; do tone "$lib/$f/$i.mp3" 1 -c:a libmp3lame -b:a 64k -metadata title="$f$i"; done
done
# Long enough for the end-of-track test (it waits five seconds after Play).
tone "$lib/C/1.mp3" 5.5 -c:a libmp3lame -b:a 64k -metadata title="C1"
tone "$lib/C/2.mp3" 5.5 -c:a libmp3lame -b:a 64k -metadata title="C2"
tone "$lib/C/3.mp3" 5.5 -c:a libmp3lame -b:a 64k -metadata title="C3"
ini="$XDG_CONFIG_HOME/velodra.ini"

# key KEY TITLE: types KEY, which must bring TITLE within 3 s
key() {
  xdotool key "$1"
  wait_caption "$win" "Velodra :: $2" 30 ||
    fail "$3: $1 did nothing (caption '$(window_name "$win")', active $(active_window), ours $win)"
}
# The keys of the fresh starts, in turn: Next File, Next Folder.
keys=(F7:A2 ctrl+F7:B1)
for run in $(seq 20); do
  rm -f "$ini"
  "$VELODRA" "$lib" >"$WORK/run.log" 2>&1 &
  app=$!
  PIDS+=($app)
  win=$(wait_window '^Velodra') || fail "start $run: no window"
  wait_caption "$win" "Velodra :: A1" 100 || fail "start $run: no first title"
  k=${keys[$((run % ${#keys[@]}))]}
  key "${k%%:*}" "${k#*:}" "start $run"
  [ "$(active_window)" = "$win" ] || fail "start $run: the active window is $(active_window)"
  kill "$app"
  wait_exit "$app" 10
done

# The pop-up, which appears at every Play.
"$VELODRA" "$lib" >"$WORK/popup.log" 2>&1 &
app=$!
PIDS+=($app)
win=$(wait_window '^Velodra') || fail "no window for the pop-up"
wait_caption "$win" "Velodra :: A1" 100 || fail "no first title for the pop-up"
key ctrl+F7 B1 "before Play"
key ctrl+F7 C1 "before Play"
xdotool key F2
first_window '^Velodra$' 100 >/dev/null || fail "no pop-up within 10 s of Play"
key F7 C2 "as the pop-up shows"
key F6 C1 "as the pop-up shows again"
# C1 ends by itself after 5.5 s; the move to C2 shows the pop-up once more.
wait_caption "$win" "Velodra :: C2" 100 || fail "no automatic move to C2"
key F7 C3 "right after the automatic move"
[ "$(active_window)" = "$win" ] || fail "after the pop-ups the active window is $(active_window)"
close_window "$win"
wait_exit "$app" 10
echo "focus e2e passed"
