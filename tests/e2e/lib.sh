# Shared pieces of the end-to-end tests: a private X server, private config and runtime
# folders, generated libraries, and closing a window the way a window manager does.
set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD_DIR=$(cd "${1:?build folder}" && pwd)
VELODRA="$BUILD_DIR/app/velodra"
WORK=$(mktemp -d /tmp/velodra-e2e-XXXXXX)
export XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/run" XDG_CACHE_HOME="$WORK/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
PIDS=()

cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# A headless X server with a real window manager on it, as every test is run on.
start_xvfb() {
  local fifo="$WORK/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  PIDS+=($!)
  local n
  read -r -t 20 n <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=":$n"
  start_wm
}

# tone FILE SECONDS [ffmpeg output options...]
tone() {
  local file=$1 secs=$2
  shift 2
  mkdir -p "$(dirname "$file")"
  ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi \
    -i "sine=frequency=440:sample_rate=44100:duration=$secs" -ac 2 "$@" "$file"
}

# wait_window NAME_REGEX [SECONDS] -> prints the window id
# Only windows whose first type is normal or dialog count: the pop-up, a tool tip titled
# "Velodra" too (with normal as its fallback type), comes and goes.
wait_window() {
  local name=$1 secs=${2:-20} id
  for _ in $(seq $((secs * 10))); do
    for id in $(xdotool search --onlyvisible --name "$name" 2>/dev/null || true); do
      case "$(xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null)" in
        *"= _NET_WM_WINDOW_TYPE_NORMAL"* | *"= _NET_WM_WINDOW_TYPE_DIALOG"*)
          echo "$id"
          return 0
          ;;
      esac
    done
    sleep 0.1
  done
  return 1
}

# client_geometry WINDOW: sets X, Y (the client area's upper left on the screen, below the
# window manager's frame), WIDTH and HEIGHT
client_geometry() {
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  X=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$info")
  WIDTH=$(awk '/^ *Width:/ { print $NF }' <<<"$info")
  HEIGHT=$(awk '/^ *Height:/ { print $NF }' <<<"$info")
}

# named_windows NAME_REGEX: the visible windows of that name but the loading window (a utility
# window titled as the program, there only while a scan runs)
named_windows() {
  local id
  for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null || true); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q UTILITY || echo "$id"
  done
}

# first_window NAME_REGEX [TENTHS]: prints the first visible window of that name, of any type
# (a message box, the pop-up), once there is one (5 s unless told)
first_window() {
  local id
  for _ in $(seq "${2:-50}"); do
    id=$(named_windows "$1" | head -n 1)
    [ -n "$id" ] && echo "$id" && return 0
    sleep 0.1
  done
  return 1
}

# wait_gone NAME_REGEX [TENTHS]: 0 once no visible window has that name (5 s unless told)
wait_gone() {
  for _ in $(seq "${2:-50}"); do
    [ -z "$(named_windows "$1")" ] && return 0
    sleep 0.1
  done
  return 1
}

window_name() { xdotool getwindowname "$1" 2>/dev/null || true; }

# ms_since STAMP: milliseconds from an $EPOCHREALTIME stamp until now
ms_since() { echo $(((${EPOCHREALTIME/./} - ${1/./}) / 1000)); }

# wait_for SECONDS COMMAND...: 0 once COMMAND succeeds (tried every 0.1 s), 1 when it still
# fails after SECONDS. For states that settle a moment after the key that asked for them.
wait_for() {
  local secs=$1 end
  shift
  end=$((${EPOCHREALTIME/./} + secs * 1000000))
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# The window manager's close request (WM_DELETE_WINDOW).
close_window() { python3 "$E2E_DIR/xclose.py" "$1"; }

# wait_exit PID SECONDS: sets EXIT_CODE, or fails when the process is still running
wait_exit() {
  local pid=$1 secs=$2
  for _ in $(seq $((secs * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_CODE=0
      wait "$pid" || EXIT_CODE=$?
      return 0
    fi
    sleep 0.1
  done
  fail "process $pid still running after ${secs}s"
}

# A real window manager (openbox, with its stock settings): focus, activation and placement as
# on a desktop. Ready once it has announced itself on the root window.
start_wm() {
  local wm try
  for try in 1 2 3; do
    # its own themes and settings, whatever data folders a test gives the program
    env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_DATA_DIRS -u XDG_CONFIG_DIRS \
      openbox --sm-disable --replace >>"$WORK/openbox.log" 2>&1 &
    wm=$!
    PIDS+=($wm)
    for _ in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
      kill -0 "$wm" 2>/dev/null || break # it gave up: once more
      sleep 0.1
    done
    echo "openbox, start $try: $(tail -n 3 "$WORK/openbox.log" | tr '\n' ' ')" >&2
  done
  fail "openbox did not start"
}

# wait_caption WINDOW TEXT [TENTHS]: 0 once the caption reads TEXT (10 s unless told), else
# says what it reads and gives 1
wait_caption() {
  for _ in $(seq "${3:-100}"); do
    [ "$(window_name "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "caption is '$(window_name "$1")', not '$2'" >&2
  return 1
}

# frame_corner WINDOW -> "X,Y": the outer corner of the frame the window manager drew around it
frame_corner() {
  local x y left top
  x=$(xwininfo -id "$1" | awk '/Absolute upper-left X/{print $NF}')
  y=$(xwininfo -id "$1" | awk '/Absolute upper-left Y/{print $NF}')
  read -r left _ top _ <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
  echo "$((x - left)),$((y - top))"
}

# The window manager's active window, as a decimal id (what xdotool prints).
# keys KEY...: typed through XTEST into the window $win, one after another.
keys() {
  for k in "$@"; do
    xdotool windowfocus --sync "$win" 2>/dev/null || true
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}
active_window() { printf '%d\n' "$(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}')"; }
