#!/usr/bin/env bash
# The real program on Wayland: Weston's X11 back end inside Xvfb (so XTEST keys reach it), Qt's
# Wayland platform, a private session bus with a small recording notification server. The
# player starts, plays (F2), and each file that starts is announced through the notification
# service (the application's icon, the previous one replaced, 8 s) instead of the pop-up; 1.5 s
# after a track starts the player's keys still work (F3 pauses, F7 moves on), and moving the
# pointer over the window logs no opacity warnings.
source "$(dirname "$0")/bus.sh"
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb

WESTON_SOCKET=velodra-wayland
weston --backend=x11-backend.so --use-pixman --socket="$WESTON_SOCKET" --width=800 --height=600 \
  --idle-time=0 >"$WORK/weston.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WESTON_SOCKET" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/$WESTON_SOCKET" ] || { cat "$WORK/weston.log"; fail "weston did not start"; }
output=""
for _ in $(seq 100); do
  output=$(xdotool search --onlyvisible --class Weston 2>/dev/null | head -n 1 || true)
  [ -n "$output" ] && break
  sleep 0.1
done
[ -n "$output" ] || fail "no Weston window"

# Debian's own Python: its dbus and gi modules come from Debian packages.
/usr/bin/python3 "$E2E_DIR/notify_server.py" "$WORK/notes.jsonl" >"$WORK/notify.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do grep -q ready "$WORK/notify.log" && break; sleep 0.1; done
grep -q ready "$WORK/notify.log" || { cat "$WORK/notify.log"; fail "no notification server"; }

lib="$WORK/Music"
tone "$lib/A/01.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="First Song" \
  -metadata artist="Ann" -metadata album="Live"
tone "$lib/A/02.mp3" 20 -c:a libmp3lame -b:a 128k -metadata title="Second Song"

QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$WESTON_SOCKET" "$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
pid=$!
PIDS+=($pid)
pc() { playerctl -p velodra "$@" 2>/dev/null || true; }
expect() { # WHAT COMMAND... (3 s)
  local want=$1 got=""
  shift
  for _ in $(seq 30); do
    got=$("$@")
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "$* gave '$got', not '$want'"
}
expect "First Song" pc metadata title
# The keyboard goes to Weston's window, and Weston gives it to the player's.
xdotool windowfocus --sync "$output" 2>/dev/null || true
press() { echo "key $1"; xdotool key "$1"; }
notes() { [ -f "$WORK/notes.jsonl" ] && wc -l <"$WORK/notes.jsonl" || echo 0; }

# The first key waits for Weston to hand the keyboard to the new window, after its first frame.
for _ in $(seq 20); do
  press F2
  sleep 0.5
  [ "$(pc status)" = "Playing" ] && break
done
expect "Playing" pc status
expect 1 notes
sleep 1.5
press F3
expect "Paused" pc status
press F3
expect "Playing" pc status
press F7
expect "Second Song" pc metadata title
expect 2 notes
sleep 1.5
press F3
expect "Paused" pc status

python3 - "$WORK/notes.jsonl" <<'EOF' || fail "notifications: $(cat "$WORK/notes.jsonl")"
import json, sys
notes = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
first, second = notes
assert first["summary"] == "First Song", first
assert second["summary"] == "Second Song", second
for n in notes:
    assert n["app"] == "Velodra" and n["icon"] == "org.velodra.Velodra", n
    assert n["desktop_entry"] == "org.velodra.Velodra" and n["timeout"] == 8000, n
    assert "kbps" in n["body"], n
# Who plays on a line of its own above the time and rates, where the file names it.
assert first["body"].startswith("Ann - Live\n"), first
assert "\n" not in second["body"], second
assert first["replaces"] == 0 and second["replaces"] == first["id"], notes
EOF

# The pointer swept over the whole output (Weston places the window where it likes), in and out
# of the window: no per-window opacity to set, and no warnings.
for y in $(seq 40 60 600); do
  for x in $(seq 0 80 800); do xdotool mousemove "$x" "$y"; sleep 0.02; done
done
grep -i 'opacity' "$WORK/velodra.log" && fail "opacity warnings in the log"
kill -0 "$pid" 2>/dev/null || fail "the player died"
echo "wayland e2e passed"
