#!/usr/bin/env bash
# State that must survive, with the real program under a window manager:
# - a relative folder argument ("velodra .") is saved as an absolute root;
# - play 12 s into a 60 s file and close: the next start (no argument, from another folder)
#   continues the file from about 00:12, as its position label shows (read through the
#   accessibility bus, as a screen reader reads it);
# - SIGTERM, SIGHUP and SIGINT close the program as its window does: exit code 0, the file and
#   the position saved, and the next start plays the same file on from there;
# - in German, a screen reader reads the tool bar's buttons and the position bar by their German
#   names.
if [ -z "${VELODRA_E2E_BUS:-}" ]; then
  exec env VELODRA_E2E_BUS=1 dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_xvfb
/usr/bin/python3 "$E2E_DIR/labels.py" || fail "no accessibility bus"
lib="$WORK/Music"
tone "$lib/A/a1.mp3" 30 -c:a libmp3lame -b:a 64k -metadata title="A One"
tone "$lib/A/a2.mp3" 60 -c:a libmp3lame -b:a 64k -metadata title="A Two"
ini="$XDG_CONFIG_HOME/velodra.ini"

start() { # start [ARG]: from the current folder; sets app, win and started (when)
  started=$EPOCHREALTIME
  "$VELODRA" "$@" >"$WORK/run.log" 2>&1 &
  app=$!
  PIDS+=($app)
  win=$(wait_window '^Velodra') || fail "no window"
}
# The position label's time, in seconds, as a screen reader reads it after the label's name (the
# file is 01:00 long, so that the runs below, however slow, don't play it out).
# The program registers with the accessibility bus shortly after it starts.
position() {
  local t=""
  for _ in $(seq 30); do
    t=$(/usr/bin/python3 "$E2E_DIR/labels.py" Velodra | sed -n 's/^Elapsed\t\([0-9][0-9]:[0-9][0-9]\)$/\1/p' |
      head -n 1 || true)
    [ -n "$t" ] && break
    sleep 0.1
  done
  [ -n "$t" ] || fail "no position label on the accessibility bus"
  echo $((10#${t%:*} * 60 + 10#${t#*:}))
}
key() { # key KEY TITLE
  xdotool key "$1"
  wait_caption "$win" "Velodra :: $2" || fail "$1 did not bring $2"
}
saved() { sed -n "s/^$1=//p" "$ini"; }
moved() { [ "$(position)" -gt "$first" ]; }

# A relative folder, the second file, played for 12 s, closed.
cd "$lib"
start .
wait_caption "$win" "Velodra :: A One" 100 || fail "no first title"
key F7 "A Two"
pressed=$EPOCHREALTIME
xdotool key F2
sleep 12
close_window "$win"
wait_exit "$app" 10
played=$(ms_since "$pressed")
[ "$(saved Root)" = "$lib" ] || fail "Root=$(saved Root), not the absolute $lib"
[ "$(saved File)" = 1 ] && [ "$(saved Playing)" = 1 ] || fail "File=$(saved File) Playing=$(saved Playing)"
pos=$(saved Position)
# 12 s less what starting took, and no further than F2 to the exit allowed (a busy machine
# makes both the start and the close slow).
[ "$pos" -ge 9000 ] && [ "$pos" -le "$played" ] ||
  fail "Position=$pos after 12 s ($played ms from F2 to the exit)"

# The next start, elsewhere and without an argument: the file goes on from about 00:12.
cd /
for signal in TERM HUP INT; do
  start
  wait_caption "$win" "Velodra :: A Two" 100 || fail "the start before SIG$signal shows '$(window_name "$win")'"
  first=$(position)
  # From there, not from the start, and no further on than the time since this start.
  latest=$(((pos + $(ms_since "$started")) / 1000 + 1))
  [ "$first" -ge $((pos / 1000 - 1)) ] && [ "$first" -le "$latest" ] ||
    fail "the position label shows $first s, the last run ended at $pos ms"
  wait_for 10 moved || fail "the position stays at $first s: not playing"
  kill -"$signal" "$app"
  wait_exit "$app" 10
  [ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/run.log"; fail "SIG$signal: exit code $EXIT_CODE"; }
  [ "$(saved File)" = 1 ] && [ "$(saved Playing)" = 1 ] ||
    fail "SIG$signal: File=$(saved File) Playing=$(saved Playing)"
  [ "$(saved Position)" -gt "$pos" ] || fail "SIG$signal: Position=$(saved Position), before $pos"
  pos=$(saved Position)
done
# In German the tool bar's buttons and the position bar are read with their German names, the
# bar with the time played of the whole.
LANGUAGE= LC_ALL= LANG=de_DE.UTF-8 start
wait_caption "$win" "Velodra :: A Two" 100 || fail "the German start shows '$(window_name "$win")'"
bar=$'^Position\t[0-9]{2}:[0-9]{2} von 01:00$'
for _ in $(seq 30); do
  reads=$(/usr/bin/python3 "$E2E_DIR/labels.py" Velodra "push button" "progress bar")
  grep -qE "$bar" <<<"$reads" && break
  sleep 0.1
done
grep -qE "$bar" <<<"$reads" || fail "the position bar is not read with its German name: $reads"
for name in Wiedergabe Pause Stopp Laden "Vorheriger Ordner" "Vorherige Datei" "Nächste Datei" \
  "Nächster Ordner"; do
  grep -q "^$name"$'\t' <<<"$reads" || fail "no button read as '$name' in German: $reads"
done
close_window "$win"
wait_exit "$app" 10
echo "session e2e passed"
