#!/usr/bin/env bash
# The real program on a private session bus under Xvfb, driven by playerctl as the desktop's
# media controls drive it: status, title, play-pause, next, previous, position, loop and shuffle
# round trips, the interfaces as gdbus sees them, PropertiesChanged of a track change as
# dbus-monitor sees it, the art URL of a cover file and of one stored in a file, and Quit
# running the normal close.
source "$(dirname "$0")/bus.sh"
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb

lib="$WORK/Music"
tone "$lib/A/01.mp3" 30 -c:a libmp3lame -b:a 128k -write_id3v1 1 -metadata title="First Song" \
  -metadata artist="The Band"
tone "$lib/A/02.mp3" 30 -c:a libmp3lame -b:a 128k -metadata title="Second Song"
ffmpeg -nostdin -loglevel error -f lavfi -i color=c=red:s=64x64 -frames:v 1 "$lib/A/Cover.JPG"
tone "$WORK/03.mp3" 30 -c:a libmp3lame -b:a 128k -metadata title="Third Song"
mkdir -p "$lib/B" # B's cover is only inside its file
ffmpeg -nostdin -loglevel error -i "$WORK/03.mp3" -i "$lib/A/Cover.JPG" -map 0 -map 1 -c copy \
  -disposition:v attached_pic "$lib/B/03.mp3"
export XDG_CACHE_HOME="$WORK/cache"

pc() { playerctl -p velodra "$@"; }
# output_is WHAT COMMAND...: the command prints WHAT (what it printed is left in got)
output_is() {
  got=$("${@:2}" 2>/dev/null || true)
  [ "$got" = "$1" ]
}
# expect WHAT COMMAND...: polls the command's output for WHAT (5 s)
expect() { wait_for 5 output_is "$@" || fail "${*:2} gave '$got', not '$1'"; }

"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
for _ in $(seq 100); do pc status >/dev/null 2>&1 && break; sleep 0.1; done
expect "Stopped" pc status
expect "First Song" pc metadata title
expect "The Band" pc metadata artist
expect "file://$lib/A/Cover.JPG" pc metadata mpris:artUrl

intro=$(gdbus introspect --session -d org.mpris.MediaPlayer2.velodra -o /org/mpris/MediaPlayer2)
grep -q 'interface org.mpris.MediaPlayer2 {' <<<"$intro" || fail "no org.mpris.MediaPlayer2"
grep -q 'interface org.mpris.MediaPlayer2.Player {' <<<"$intro" || fail "no Player interface"
grep -q 'Seeked(x Position)' <<<"$intro" || fail "no Seeked signal"
for p in "d Volume" "b Shuffle" "s LoopStatus" "d Rate"; do
  grep -q "readwrite $p " <<<"$intro" || fail "no readwrite $p"
done
[ "$(pc metadata mpris:length)" = "30000000" ] || fail "length $(pc metadata mpris:length)"

pc play-pause
expect "Playing" pc status
pc play-pause
expect "Paused" pc status
pc play
expect "Playing" pc status

pc position 12
# Without the seek the position could not reach 11.5 s within the wait.
near_12() {
  position=$(pc position 2>/dev/null) && awk -v p="$position" 'BEGIN { exit !(p >= 11.5 && p < 14) }'
}
wait_for 5 near_12 || fail "position $position after seek to 12"

# A track change, as the desktop hears of it.
dbus-monitor --session "type='signal',interface='org.freedesktop.DBus.Properties',path='/org/mpris/MediaPlayer2'" \
  >"$WORK/monitor.log" 2>&1 &
monitor=$!
PIDS+=($monitor)
# It prints NameLost once it has become a monitor.
wait_for 10 grep -q 'member=NameLost' "$WORK/monitor.log" || fail "dbus-monitor did not start"
pc next
expect "Second Song" pc metadata title
expect "Playing" pc status
wait_for 5 grep -q 'string "Second Song"' "$WORK/monitor.log" || true
kill "$monitor"
grep -q 'string "PropertiesChanged"\|member=PropertiesChanged' "$WORK/monitor.log" || fail "no PropertiesChanged seen"
grep -q 'string "Second Song"' "$WORK/monitor.log" || { cat "$WORK/monitor.log"; fail "the new title was not announced"; }
grep -q 'string "Position"' "$WORK/monitor.log" && fail "Position was pushed"

pc previous
expect "First Song" pc metadata title

# The stored cover reaches the desktop as a readable file of its own, the same bytes.
pc open "file://$lib/B/03.mp3"
expect "Third Song" pc metadata title
expect_art() {
  art=$(pc metadata mpris:artUrl 2>/dev/null) &&
    [[ $art == "file://$XDG_CACHE_HOME/velodra/art/"*.jpg ]]
}
wait_for 5 expect_art || fail "art URL '$art'"
cmp -s "${art#file://}" "$lib/A/Cover.JPG" || fail "the art file differs from the stored cover"
# ...and fills the window behind the display: its average colour is the cover's red.
red_window() {
  import -window "$(wait_window '^Velodra' 5)" "$WORK/shot.png" 2>/dev/null &&
    read -r r g b < <(convert "$WORK/shot.png" -resize '1x1!' -depth 8 \
      -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]\n' info:) &&
    [ "$r" -gt 150 ] && [ "$g" -lt 100 ] && [ "$b" -lt 100 ]
}
wait_for 5 red_window || fail "the stored cover is not shown (average $r $g $b)"
pc previous
expect "Second Song" pc metadata title
pc previous
expect "First Song" pc metadata title

pc loop Playlist
expect "Playlist" pc loop
pc loop None
expect "None" pc loop
pc loop Track || true
sleep 0.3
expect "None" pc loop
pc shuffle On
expect "On" pc shuffle
pc shuffle Off
expect "Off" pc shuffle
pc loop Playlist
expect "Playlist" pc loop

# A Set of the wrong D-Bus type is refused, and the value stays.
prop() { # prop Get NAME | prop Set NAME VALUE
  gdbus call --session -d org.mpris.MediaPlayer2.velodra -o /org/mpris/MediaPlayer2 \
    -m "org.freedesktop.DBus.Properties.$1" org.mpris.MediaPlayer2.Player "${@:2}"
}
prop Set Volume '<0.5>' >/dev/null || fail "Volume 0.5 refused"
expect "(<0.5>,)" prop Get Volume
for wrong in "Volume <'0.25'>" "Shuffle <'yes'>" "LoopStatus <5>" "Rate <'1'>"; do
  if prop Set $wrong >/dev/null 2>&1; then fail "Set $wrong was taken"; fi
done
expect "(<0.5>,)" prop Get Volume
expect "Off" pc shuffle
expect "Playlist" pc loop

# A folder that isn't there: an error naming the reason, and the library stays.
if pc open "file://$WORK/nowhere" 2>"$WORK/open.err"; then fail "opening a missing folder succeeded"; fi
grep -q "doesn't exist" "$WORK/open.err" || fail "open error: $(cat "$WORK/open.err")"
expect "First Song" pc metadata title

# Quit runs the close sequence: settings saved (Repeat on), exit 0.
gdbus call --session -d org.mpris.MediaPlayer2.velodra -o /org/mpris/MediaPlayer2 \
  -m org.mpris.MediaPlayer2.Quit >/dev/null
wait_exit "$pid" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/velodra.log"; fail "exit code $EXIT_CODE"; }
grep -q '^Loop=1' "$XDG_CONFIG_HOME/velodra.ini" || fail "Repeat not saved at Quit"
echo "mpris e2e passed"
