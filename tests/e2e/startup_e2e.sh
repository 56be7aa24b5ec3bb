#!/usr/bin/env bash
# The real program under Xvfb: the window appears, a second copy leaves at once with 0 and
# leaves the first alone, closing the window ends the process with 0.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
tone "$lib/A/one.mp3" 2 -c:a libmp3lame -b:a 128k -metadata title="First Song"
tone "$lib/B/two.mp3" 2 -c:a libmp3lame -b:a 128k

"$VELODRA" "$lib" >"$WORK/first.log" 2>&1 &
first=$!
PIDS+=($first)
win=$(wait_window '^Velodra') || fail "no Velodra window"
# The scan has run: the first file is open and named in the caption.
wait_caption "$win" "Velodra :: First Song" 50 || fail "no caption of the first file"

start=$EPOCHREALTIME
rc=0
timeout 10 "$VELODRA" "$lib" >"$WORK/second.log" 2>&1 || rc=$?
elapsed_ms=$(ms_since "$start")
[ "$rc" -eq 0 ] || fail "second copy exited with $rc"
[ "$elapsed_ms" -lt 5000 ] || fail "second copy took ${elapsed_ms} ms"
kill -0 "$first" 2>/dev/null || fail "first copy died"
# The hand-over rescans, so windows come and go meanwhile (and a search that loses one on its
# way fails): the count is taken again until it settles.
one_window() {
  windows=$(xdotool search --onlyvisible --name '^Velodra' 2>/dev/null | wc -l)
  [ "$windows" -eq 1 ]
}
wait_for 5 one_window || fail "$windows windows named Velodra, not one"

close_window "$win"
wait_exit "$first" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/first.log"; fail "first copy exited with $EXIT_CODE"; }
[ -f "$XDG_CONFIG_HOME/velodra.ini" ] || fail "no settings written at close"
echo "startup e2e passed"
