#!/usr/bin/env bash
# One track into the next without a gap, heard on a PulseAudio null sink through a low-latency
# recording of its monitor. Tones of their own pitch make each file known in the recording:
# 1. In order, across two folders: no silence over 20 ms between the files; the last file
#    starts 40 ms late, and that silence is found (the recording would show a gap).
# 2. The same in random order: every file once, the late one's silence the only one.
# 3. Next in the last second of a track plays the file after the one shown, from its start; a
#    damaged and an empty file after that are passed over without a box, told on stderr, and
#    the album plays on to its end.
# 4. Files made by ffmpeg (not LAME) join without a gap too; with ReplayGain on, a file tagged
#    -6 dB plays at half the level of the untagged ones beside it.
# 5. With "Includes Other Formats", a FLAC folder runs into an M4A folder without a gap.
source "$(dirname "$0")/lib.sh"
source "$E2E_DIR/pulse.sh"
start_xvfb
start_pulse
rec="$WORK/monitor.raw"
start_recording "$rec"

# mp3 FILE SECONDS HZ TITLE [ffmpeg filter]: encoded by LAME, whose header tells the encoder's
# delay and padding, which GStreamer trims.
mp3() {
  local file=$1 secs=$2 hz=$3 title=$4 filter=${5:-anull}
  mkdir -p "$(dirname "$file")"
  ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi \
    -i "sine=frequency=$hz:sample_rate=44100:duration=$secs" -af "$filter" -ac 2 "$WORK/t.wav"
  lame --quiet -b 192 --tt "$title" "$WORK/t.wav" "$file"
}

lib="$WORK/Music"
mp3 "$lib/A/01.mp3" 6 440 "Song 440"
mp3 "$lib/A/02.mp3" 6 660 "Song 660"
mp3 "$lib/B/03.mp3" 6 880 "Song 880"
mp3 "$lib/B/04.mp3" 5.5 330 "Song 330" "adelay=40:all=1"

# run_velodra LIBRARY [ini lines]: starts the program on a fresh settings file; sets $pid, $win.
run_velodra() {
  rm -f "$XDG_CONFIG_HOME/velodra.ini"
  if [ -n "${2:-}" ]; then printf '%b' "$2" >"$XDG_CONFIG_HOME/velodra.ini"; fi
  "$VELODRA" "$1" >"$WORK/velodra.log" 2>&1 &
  pid=$!
  PIDS+=($pid)
  win=$(wait_window '^Velodra ::' 20) || fail "no window"
}
press() { xdotool windowfocus --sync "$win" 2>/dev/null || true; xdotool key --clearmodifiers "$1"; }
# until_stopped SECONDS: waits until nothing has been heard for a second
until_stopped() {
  local size
  for _ in $(seq $(($1 * 2))); do
    sleep 0.5
    size=$(stat -c %s "$rec")
    [ "$(sound_after "$rec" $((size - 4 * 44100)))" = none ] && return 0
  done
  fail "still playing after $1 s"
}
quit() {
  close_window "$win"
  wait_exit "$pid" 15
  [ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
}
tones() { python3 "$E2E_DIR/tone_sequence.py" "$rec" "$1" 330 440 660 880; }
# check_gaps TONES: the silence before each tone after the first is at most 20 ms, except before
# the 330 Hz file (at least 30 ms).
check_gaps() {
  echo "$1" | awk 'NR > 1 {
      if ($1 == 330 && $4 < 30) { print "the 40 ms gap before the 330 Hz file measured " $4 " ms"; bad = 1 }
      if ($1 != 330 && $4 > 20) { print "a gap of " $4 " ms before the " $1 " Hz file"; bad = 1 }
    } END { exit bad }' || fail "gaps: $(echo "$1" | tr '\n' ';')"
}

# play_through LIBRARY WHAT SORT WANT [ini lines]: the library played from F2 until it stops;
# the tones heard (sorted numerically when SORT is "sort") must be WANT, with no gap but the
# control. They are left in $heard.
play_through() {
  local order=cat
  [ "$3" = sort ] && order="sort -n"
  run_velodra "$1" "${5:-}"
  offset=$(stat -c %s "$rec")
  press F2
  until_stopped 30
  heard=$(tones "$offset")
  echo "$2 (hz start end silence-before peak):"; echo "$heard"
  [ "$(echo "$heard" | awk '{print $1}' | $order | tr '\n' ' ')" = "$4" ] ||
    fail "heard $2: $(echo "$heard" | tr '\n' ';')"
  check_gaps "$heard"
  quit
}

# 1. In order.
play_through "$lib" "in order" keep "440 660 880 330 "
# 2. Random order, no repeat: each file once, then it stops.
play_through "$lib" "in random order" sort "330 440 660 880 " "[Config]\nShuffle=1\n"

# 3. Next in the last second, then a damaged and an empty file.
lib3="$WORK/Three"
mkdir -p "$lib3"
cp "$lib/A/01.mp3" "$lib3/01.mp3"
cp "$lib/A/02.mp3" "$lib3/02.mp3"
head -c 20000 /dev/urandom >"$lib3/03.mp3"
: >"$lib3/04.mp3"
cp "$lib/B/03.mp3" "$lib3/05.mp3"
run_velodra "$lib3" "[Config]\nPlayNotification=0\n"
offset=$(stat -c %s "$rec")
press F2
for _ in $(seq 100); do
  [ "$(sound_after "$rec" "$offset")" != none ] && break
  sleep 0.05
done
onset=$(sound_after "$rec" "$offset")
[ "$onset" != none ] || fail "nothing heard after F2"
# 5.3 s into the 6 s track by the recording's clock (the device has taken the next file over
# by then).
target=$((offset + (onset + 5300) * 4 * 44100 / 1000))
while [ "$(stat -c %s "$rec")" -lt "$target" ]; do sleep 0.01; done
press F7
echo "F7 pressed $(( ($(stat -c %s "$rec") - offset) * 1000 / (4 * 44100) - onset )) ms into the track"
until_stopped 30
# The skips are told in the pop-up (a tool tip); a box would be a dialog.
for w in $(xdotool search --onlyvisible --name '^Velodra$' 2>/dev/null || true); do
  xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q DIALOG && fail "a box for a file the advance came to"
done
heard=$(tones "$offset")
echo "next in the last second, then a damaged and an empty file (hz start end silence-before):"
echo "$heard"
[ "$(echo "$heard" | awk '{print $1}' | tr '\n' ' ')" = "440 660 880 " ] || fail "heard: $(echo "$heard" | tr '\n' ';')"
echo "$heard" | awk 'NR == 1 && $3 - $2 > 5700 { exit 1 } NR == 2 && ($3 - $2 < 5800 || $3 - $2 > 6200) { exit 1 } NR == 3 && $4 > 3000 { exit 1 }' ||
  fail "the first track was not cut by Next, the second not played whole, or the last did not follow"
for f in 03 04; do
  grep -q "Skipped '$lib3/$f.mp3': " "$WORK/velodra.log" || fail "$f.mp3 not told: $(cat "$WORK/velodra.log")"
done
kill -0 "$pid" 2>/dev/null || fail "velodra died"
[ "$(window_name "$win")" = "Velodra :: Song 880" ] || fail "caption '$(window_name "$win")'"
quit

# 4. ffmpeg-made files, one of them tagged -6 dB, played with ReplayGain on.
ff="$WORK/Lavc"
tone "$ff/A/01.mp3" 5 -c:a libmp3lame -b:a 192k
tone "$ff/A/02.mp3" 5 -c:a libmp3lame -b:a 192k -af "asetrate=44100*1.5,aresample=44100" \
  -metadata REPLAYGAIN_TRACK_GAIN="-6.00 dB"
tone "$ff/A/03.mp3" 5 -c:a libmp3lame -b:a 192k -af "asetrate=44100*2,aresample=44100"
play_through "$ff" "made by ffmpeg, ReplayGain on" keep "440 660 880 " \
  "[Config]\nPlayNotification=0\nReplayGain=1\n"
echo "$heard" | awk '{ p[NR] = $5 } END { r = p[2] / p[1]; q = p[3] / p[1]
    if (r < 0.4 || r > 0.6 || q < 0.85 || q > 1.15) { print "levels " p[1] " " p[2] " " p[3]; exit 1 } }' ||
  fail "ReplayGain: the tagged file is not at half the level of the others"

# 5. A FLAC folder into an M4A folder.
other="$WORK/Other"
tone "$other/A/01.flac" 5 -c:a flac
tone "$other/B/02.m4a" 5 -c:a aac -b:a 192k -af "asetrate=44100*1.5,aresample=44100"
play_through "$other" "FLAC into M4A" keep "440 660 " "[Config]\nPlayNotification=0\nInclOther=1\n"
echo "gapless e2e passed"
