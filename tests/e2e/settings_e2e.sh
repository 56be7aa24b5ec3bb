#!/usr/bin/env bash
# Resuming where the last run ended, with the real program under Xvfb: select the second
# folder's third file, play, close; the next start without an argument has the same file
# selected and playing, and the settings file holds exactly its three sections in order. The
# wheel's volume is kept; a close while a box is open still ends the run.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
tone "$lib/A/a1.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="A One"
tone "$lib/A/a2.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="A Two"
for n in 1 2 3; do
  name=$(echo "One Two Three" | cut -d' ' -f$n)
  tone "$lib/B/b$n.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="B $name"
done
ini="$XDG_CONFIG_HOME/velodra.ini"


# First run: on the library given as argument.
"$VELODRA" "$lib" >"$WORK/first.log" 2>&1 &
app=$!
PIDS+=($app)
win=$(wait_window '^Velodra') || fail "no Velodra window"
wait_caption "$win" "Velodra :: A One"
keys ctrl+F7
wait_caption "$win" "Velodra :: B One"
keys F7 F7
wait_caption "$win" "Velodra :: B Three"
keys F2
sleep 1
# Seven notches of the wheel down over the display: 65 %, kept for the next start.
xdotool mousemove --window "$win" 100 100
for _ in 1 2 3 4 5 6 7; do xdotool click 5; sleep 0.05; done
close_window "$win"
wait_exit "$app" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/first.log"; fail "first run exited with $EXIT_CODE"; }

expected() {
  cat <<EOF
[Last]
Root=$lib
Folder=1
File=2
Playing=1
FolderKey=./B
FileName=b3.mp3
[Config]
InclWMA=0
Loop=0
Shuffle=0
PlayNotification=1
Opaque=0
InclOther=0
ReplayGain=0
NaturalOrder=0
Volume=65
[Window]
Left=199
Top=124
Compact=0
MinimizeToTray=0
FolderImage=1
Minimized=0
EOF
}
# The position within the file follows Playing; its value depends on the timing.
grep -qE '^Playing=1$' -A1 "$ini" && grep -A1 '^Playing=' "$ini" | grep -qE '^Position=[0-9]+$' ||
  fail "no Position after Playing"
diff <(expected) <(grep -v '^Position=' "$ini") || fail "settings after the first run differ (above)"

# Second run: no argument; the saved root, folder and file come back, and playback resumes.
"$VELODRA" >"$WORK/second.log" 2>&1 &
app=$!
PIDS+=($app)
win=$(wait_window '^Velodra') || fail "no Velodra window at the second start"
wait_caption "$win" "Velodra :: B Three"
sleep 1.5
# The window manager's close while the About box is open closes the box, then the window.
keys F1
wait_window '^About$' >/dev/null || fail "no About box"
close_window "$win"
wait_exit "$app" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/second.log"; fail "second run exited with $EXIT_CODE"; }
# Playing=1 again: the second run was playing when it closed.
diff <(expected) <(grep -v '^Position=' "$ini") || fail "settings after the second run differ (above)"
echo "settings e2e passed"
