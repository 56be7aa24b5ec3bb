#!/usr/bin/env bash
# The desktop file and the AppStream metainfo pass Debian's validators without an error or a
# warning (the metainfo pedantically), both carry German and French texts, and the committed
# icon PNGs are what the generator renders from the SVG.
source "$(dirname "$0")/lib.sh"
desktop="$BUILD_DIR/generated/$ID.desktop"
metainfo="$BUILD_DIR/generated/$ID.metainfo.xml"

echo "-- desktop-file-validate $desktop"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"

echo "-- appstreamcli validate --pedantic --no-net $metainfo"
out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || fail "appstreamcli: $out"
echo "$out"
! grep -qE '^[EW]:' <<<"$out" || fail "appstreamcli reports errors or warnings"
for lang in de fr; do
  for key in Name GenericName Comment Keywords; do
    grep -q "^$key\[$lang\]=" "$desktop" || fail "the desktop file has no $key[$lang]"
  done
  [ "$(grep -c "xml:lang=\"$lang\"" "$metainfo")" -ge 7 ] || fail "the metainfo lacks $lang texts"
done

echo "-- icons: committed PNGs against a fresh rendering of the SVG"
icons="$ROOT/resources/icons/app"
bash "$icons/make_app_icon.sh" "$WORK/icons"
for png in "$WORK"/icons/*.png; do
  name=$(basename "$png")
  [ -f "$icons/$name" ] || fail "$name is not committed"
  diff=$(compare -metric AE -fuzz 2% "$icons/$name" "$png" null: 2>&1) || true
  [ "$diff" = "0" ] || fail "$name differs from the SVG's rendering in $diff pixels (run make_app_icon.sh)"
done
echo "desktop files test passed"
