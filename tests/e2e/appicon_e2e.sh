#!/usr/bin/env bash
# The application's face on the desktop, with the real program under Xvfb: the main window and
# the about box carry our icon in every size (_NET_WM_ICON, pixel for pixel against the committed
# PNGs), the window's class is the desktop file's StartupWMClass, and a screenshot of the window
# playing the demo library is left in BUILD_DIR/screenshots for the README.
# VELODRA_UNDER_TEST=PATH checks another copy of the program (the packaged one) the same way.
source "$(dirname "$0")/lib.sh"
ROOT=$(cd "$E2E_DIR/../.." && pwd)
VELODRA=${VELODRA_UNDER_TEST:-$VELODRA}
desktop="$BUILD_DIR/generated/${VELODRA_APP_ID:?}.desktop"
export VELODRA_AUDIO_SINK=fakesink
# No icon theme in reach, so an installed copy of the icon cannot stand in for the built-in one.
export XDG_DATA_HOME="$WORK/data" XDG_DATA_DIRS="$WORK/data"
start_xvfb
SHOTS="$BUILD_DIR/screenshots"
mkdir -p "$SHOTS"
shot="$SHOTS/window${VELODRA_UNDER_TEST:+-installed}.png"
rm -f "$shot"

# icon_pixels WINDOW: one line per pixel of each icon in _NET_WM_ICON: "size index a r g b"
icon_pixels() {
  xprop -id "$1" -notype 32c _NET_WM_ICON | sed -n 's/^_NET_WM_ICON = //p' | tr ',' '\n' |
    awk 'NF { v = $1 + 0
              if (w == "") { w = v; next }
              if (left == 0) { left = w * v; i = 0; next }
              print w, i++, int(v / 16777216), int(v / 65536) % 256, int(v / 256) % 256, v % 256
              if (--left == 0) w = "" }'
}
# png_pixels SIZE: the same lines for the committed PNG of that size
png_pixels() {
  convert "$ROOT/resources/icons/app/velodra-$1.png" -depth 8 RGBA:- | od -An -v -tu1 -w4 |
    awk -v w="$1" '{ print w, NR - 1, $4, $1, $2, $3 }'
}
# expect_app_icon WINDOW WHAT: all six sizes, alpha exact, colour where it shows within 4 levels
# (Qt keeps pixmaps premultiplied).
expect_app_icon() {
  local got="$WORK/icon-$1.txt" want="$WORK/icon-png.txt" sizes bad
  icon_pixels "$1" >"$got"
  sizes=$(awk '{ print $1 }' "$got" | uniq | sort -n | tr '\n' ' ')
  [ "$sizes" = "16 32 48 64 128 256 " ] || fail "$2: _NET_WM_ICON sizes are '$sizes'"
  for s in 16 32 48 64 128 256; do png_pixels "$s"; done >"$want"
  bad=$(awk 'function d(x, y) { return x > y ? x - y : y - x }
             NR == FNR { px[$1 " " $2] = $3 " " $4 " " $5 " " $6; next }
             { split(px[$1 " " $2], p, " ")
               if (d($3, p[1]) > 0 || ($3 >= 64 && (d($4, p[2]) > 4 || d($5, p[3]) > 4 || d($6, p[4]) > 4))) n++ }
             END { print n + 0 }' "$want" "$got")
  [ "$bad" -eq 0 ] || fail "$2: $bad icon pixels differ from the application icon"
}

lib="$WORK/demo"
bash "$ROOT/scripts/make-demo" "$lib"
(cd / && exec "$VELODRA" "$lib") >"$WORK/velodra.log" 2>&1 &
app=$!
PIDS+=($app)
win=$(wait_window '^Velodra') || fail "no Velodra window"
wait_caption "$win" "Velodra :: C major chord" || fail "no caption of the first file"

# The desktop matches the window to its menu entry by class.
wm_class=$(xprop -id "$win" WM_CLASS | sed -n 's/^WM_CLASS(STRING) = "[^"]*", "\([^"]*\)"$/\1/p')
[ -n "$wm_class" ] || fail "no WM_CLASS"
grep -qx "StartupWMClass=$wm_class" "$desktop" || fail "WM_CLASS $wm_class is not the desktop file's"
expect_app_icon "$win" "main window"

xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --clearmodifiers F2
sleep 2
import -window "$win" "$shot"

xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --clearmodifiers F1
about=$(wait_window '^About$' 10) || fail "no about box after F1"
expect_app_icon "$about" "about box"
xdotool windowfocus --sync "$about" 2>/dev/null || true
xdotool key --clearmodifiers Return
wait_gone '^About$' || true

close_window "$win"
wait_exit "$app" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/velodra.log"; fail "exit code $EXIT_CODE"; }
echo "screenshot: $shot"
echo "appicon e2e passed"
