#!/usr/bin/env bash
# The real window under Xvfb in its four layouts (F9 compact, F8 folder picture), checked by
# the pixels of screenshots: the black panel, the picture behind the display, the yellow title,
# the hidden lists and bar. Then the pop-up in the lower right corner after Play (F2). The
# screenshots stay in BUILD_DIR/screenshots for a person to look at.
source "$(dirname "$0")/lib.sh"
export VELODRA_AUDIO_SINK=fakesink
start_xvfb
SHOTS="$BUILD_DIR/screenshots"
mkdir -p "$SHOTS"
rm -f "$SHOTS"/look-*.png

lib="$WORK/Music"
tone "$lib/Pictured/one.mp3" 30 -c:a libmp3lame -b:a 128k -metadata title="Look Song"
# A flat picture of a known colour, larger than the window so it is scaled down.
PIC_R=32 PIC_G=96 PIC_B=192
convert -size 400x400 "xc:rgb($PIC_R,$PIC_G,$PIC_B)" -quality 95 "$lib/Pictured/folder.jpg"

"$VELODRA" "$lib" >"$WORK/velodra.log" 2>&1 &
PIDS+=($!)
app=$!
win=$(wait_window '^Velodra') || fail "no Velodra window"
wait_caption "$win" "Velodra :: Look Song" || fail "no caption of the first file"

geometry() { client_geometry "$win"; }

# rgb FILE X Y -> "r g b" (0..255) of a pixel at client coordinates
rgb() {
  local x=$(( X + $2 )) y=$(( Y + $3 ))
  convert "$1" -format "%[fx:int(255*p{$x,$y}.r+0.5)] %[fx:int(255*p{$x,$y}.g+0.5)] %[fx:int(255*p{$x,$y}.b+0.5)]" info:
}
near() { # near "r g b" R G B TOLERANCE
  local r g b
  read -r r g b <<<"$1"
  local dr=$(( r - $2 )) dg=$(( g - $3 )) db=$(( b - $4 ))
  [ ${dr#-} -le "$5" ] && [ ${dg#-} -le "$5" ] && [ ${db#-} -le "$5" ]
}
expect_black() { near "$(rgb "$1" "$2" "$3")" 0 0 0 8 || fail "$4: ($2,$3) is $(rgb "$1" "$2" "$3"), not black"; }
expect_picture() {
  near "$(rgb "$1" "$2" "$3")" $PIC_R $PIC_G $PIC_B 20 ||
    fail "$4: ($2,$3) is $(rgb "$1" "$2" "$3"), not the picture's colour"
}
expect_not_picture() {
  ! near "$(rgb "$1" "$2" "$3")" $PIC_R $PIC_G $PIC_B 20 || fail "$4: ($2,$3) shows the picture"
}
# Yellow title pixels in the display's middle band.
expect_yellow_title() {
  local n
  n=$(convert "$1" -crop "180x26+$(( X + 10 ))+$(( Y + 26 ))" +repage \
        -fx '(r>0.85 && g>0.85 && b<0.25) ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:)
  [ "$n" -ge 15 ] || fail "$2: only $n yellow title pixels"
}

shot() { # shot NAME -> path
  local png="$SHOTS/look-$1.png"
  sleep 0.5
  import -window root "$png"
  echo "$png"
}

# press KEY WANT_HEIGHT: the key goes to the focused window; waits for the new height.
press() {
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --clearmodifiers "$1"
  for _ in $(seq 50); do
    geometry
    [ "$HEIGHT" -eq "$2" ] && return 0
    sleep 0.1
  done
  fail "after $1 the window is ${WIDTH}x${HEIGHT}, not 200x$2"
}

geometry
[ "$WIDTH" -eq 200 ] && [ "$HEIGHT" -eq 200 ] || fail "window is ${WIDTH}x${HEIGHT}"

# 1. Full, with the picture: picture behind the display and the empty parts, lists over it.
# The picture is decoded off the UI thread: wait for it to come.
for _ in $(seq 20); do
  png=$(shot full-picture)
  near "$(rgb "$png" 3 110)" $PIC_R $PIC_G $PIC_B 20 && break
done
expect_picture "$png" 15 40 "full picture, display"
expect_picture "$png" 3 110 "full picture, body"
expect_not_picture "$png" 100 140 "full picture, folder list"
expect_not_picture "$png" 100 84 "full picture, bar"
expect_yellow_title "$png" "full picture"

# 2. Compact with the picture: same height, lists and bar gone (no size change to wait for:
# wait for the lists to go).
press F9 200
for _ in $(seq 20); do
  png=$(shot compact-picture)
  near "$(rgb "$png" 100 140)" $PIC_R $PIC_G $PIC_B 20 && break
done
expect_picture "$png" 15 40 "compact picture, display"
expect_picture "$png" 100 140 "compact picture, where the lists were"
expect_picture "$png" 100 84 "compact picture, where the bar was"
expect_yellow_title "$png" "compact picture"

# 3. Folder picture off while compact: the plain compact form.
press F8 150
png=$(shot compact-plain)
expect_black "$png" 15 40 "compact plain, panel"
expect_black "$png" 180 45 "compact plain, panel"
expect_not_picture "$png" 3 110 "compact plain, body"
expect_not_picture "$png" 100 84 "compact plain, bar"
expect_yellow_title "$png" "compact plain"

# 4. Compact off: the plain full form.
press F9 200
png=$(shot full-plain)
expect_black "$png" 15 40 "full plain, panel"
expect_black "$png" 180 45 "full plain, panel"
expect_not_picture "$png" 3 110 "full plain, body"
expect_not_picture "$png" 100 140 "full plain, folder list"
expect_yellow_title "$png" "full plain"
[ "$(rgb "$png" 100 140)" != "$(rgb "$png" 3 110)" ] || fail "full plain: no folder list"

# 5. Play with "Play Notification" on: the pop-up in the lower right corner.
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --clearmodifiers F2
popup=$(first_window '^Velodra$') || fail "no pop-up after Play"
eval "$(xdotool getwindowgeometry --shell "$popup")"
[ "$WIDTH" -eq 180 ] && [ "$HEIGHT" -eq 58 ] || fail "pop-up is ${WIDTH}x${HEIGHT}"
[ "$X" -eq $(( 1024 - 180 )) ] && [ "$Y" -eq $(( 768 - 58 )) ] || fail "pop-up at $X,$Y"
png=$(shot popup)
X=0 Y=0
corner=$(rgb "$png" 1022 766)
outside=$(rgb "$png" 841 766)
[ "$corner" != "$outside" ] || fail "the corner shows no pop-up ($corner)"

close_window "$win"
wait_exit "$app" 15
[ "$EXIT_CODE" -eq 0 ] || { cat "$WORK/velodra.log"; fail "exit code $EXIT_CODE"; }
ls "$SHOTS"/look-*.png
echo "look e2e passed"
