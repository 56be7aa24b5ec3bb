#!/usr/bin/env bash
# The loading window under a real window manager: while a scan runs it is a utility window
# transient for the main window, kept out of the task bar and the pager, that takes no input
# focus; the main window stays the active one, and Escape typed there aborts the scan. The
# program is held (SIGSTOP) while the loading window is up, so that the checks and the key fall
# inside the scan however fast the machine is.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
lib="$WORK/Music"
folders=20
tone "$WORK/first.mp3" 0.3 -c:a libmp3lame -b:a 64k -metadata title="First"
# The root's own file is the first the scan accepts (a root's files come before its folders),
# so the library is not empty however early the scan is stopped. Each folder holds thousands of
# links to one real file: an aborted scan keeps any of them, and each must open.
python3 - "$lib" "$WORK/first.mp3" "$folders" <<'PY'
import os, shutil, sys
root, first, folders = sys.argv[1], sys.argv[2], int(sys.argv[3])
os.makedirs(root)
shutil.copy(first, os.path.join(root, "a.mp3"))
for d in range(folders):
    folder = os.path.join(root, "D%02d" % d)
    os.makedirs(folder)
    for f in range(3000):
        os.symlink(first, os.path.join(folder, "t%04d.mp3" % f))
PY
ini="$XDG_CONFIG_HOME/velodra.ini"
# The loading window is titled as the program: the one of that name that is a utility window.
loading_window() {
  comm -23 <(xdotool search --onlyvisible --name '^Velodra$' 2>/dev/null | sort) \
    <(named_windows '^Velodra$' | sort)
}

"$VELODRA" "$lib" >"$WORK/run.log" 2>&1 &
app=$!
PIDS+=($app)
loading=""
for _ in $(seq 2000); do
  loading=$(loading_window)
  [ -n "$loading" ] && break
  sleep 0.005
done
[ -n "$loading" ] || fail "no loading window"
kill -STOP "$app"
trap 'kill -CONT "$app" 2>/dev/null || true; cleanup' EXIT
win=$(xdotool search --onlyvisible --name "^Velodra" | grep -vx "$loading" | head -n 1)
[ -n "$win" ] || fail "no main window"

props=$(xprop -id "$loading")
grep -q "^WM_TRANSIENT_FOR(WINDOW): window id # $(printf '0x%x' "$win")\$" <<<"$props" ||
  fail "not transient for the main window: $(grep TRANSIENT <<<"$props")"
grep -q '^_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_UTILITY' <<<"$props" ||
  fail "not a utility window: $(grep WINDOW_TYPE <<<"$props")"
grep '^_NET_WM_STATE(ATOM)' <<<"$props" | grep -q '_NET_WM_STATE_SKIP_TASKBAR' ||
  fail "in the task bar: $(grep _NET_WM_STATE <<<"$props")"
grep -q 'input focus: False' <<<"$props" || fail "takes the input focus"
[ "$(active_window)" = "$win" ] || fail "the active window is $(active_window), not the main one"

xdotool key Escape
kill -CONT "$app"
for _ in $(seq 100); do
  [ -n "$(loading_window)" ] || break
  sleep 0.1
done
[ -n "$(loading_window)" ] && fail "the loading window stays"
wait_caption "$win" "Velodra :: First" 100 || fail "caption '$(window_name "$win")' after the scan"
[ "$(active_window)" = "$win" ] || fail "after the scan the active window is $(active_window)"
# The short title replaced the welcome text wholly: nothing yellow is left right of it (once,
# the window painted over the loading window's life kept "odra!" of "Welcome to Velodra!").
sleep 0.5
import -window root "$WORK/screen.png"
x=$(xwininfo -id "$win" | awk '/Absolute upper-left X/{print $NF}')
y=$(xwininfo -id "$win" | awk '/Absolute upper-left Y/{print $NF}')
yellow=$(convert "$WORK/screen.png" -crop "50x26+$((x + 130))+$((y + 26))" +repage \
  -fx '(r>0.85 && g>0.85 && b<0.25) ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:)
[ "$yellow" -eq 0 ] || fail "$yellow yellow pixels of an old title right of 'First'"

# The aborted scan kept the folders found so far: Next Folder stops at the last of them (the
# whole tree has the root and the 20 below it).
for _ in $(seq "$folders"); do xdotool key ctrl+F7; done
sleep 1
close_window "$win"
wait_exit "$app" 10
folder=$(sed -n 's/^Folder=//p' "$ini")
[ -n "$folder" ] && [ "$folder" -lt "$folders" ] ||
  fail "the scan was not aborted: Next Folder reached folder $folder"
echo "loading e2e passed (the aborted scan kept $((folder + 1)) of $((folders + 1)) folders)"
