#!/usr/bin/env bash
# The Debian package as built by scripts/package from this build: its control fields, its
# dependencies (the packages that hold the libraries, the GStreamer elements that play MP3, WMA,
# FLAC, Ogg Vorbis, Opus, MP4 audio and WAV here and the display's faces), exactly the expected
# files, the extracted programs at work away from the build tree, hardened, with their manual
# pages, and lintian without an error, a hardening tag or a program without a manual page.
source "$(dirname "$0")/lib.sh"
deb=$(bash "$ROOT/scripts/package" "$BUILD_DIR" | tail -n 1)
[ -f "$deb" ] || fail "scripts/package made no package"
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "velodra_${VELODRA_VERSION:?}_$arch.deb" ] || fail "package named $(basename "$deb")"
dpkg-deb -I "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velodra ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VELODRA_VERSION" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"

# element_file NAME: the plugin file of a GStreamer element
element_file() {
  gst-inspect-1.0 "$1" 2>/dev/null | awk '$1 == "Filename" { print $2 }' | grep . ||
    fail "no GStreamer element $1"
}
held=()
for element in playbin decodebin audioconvert audioresample id3demux mpegaudioparse avdec_mp3 \
               asfdemux avdec_wmav2 flacparse flacdec oggdemux vorbisdec opusdec qtdemux avdec_aac \
               avdec_alac wavparse autoaudiosink pulsesink; do
  held+=("$(element_file "$element")")
done
held+=("$(fc-match -f '%{file}' 'Liberation Serif')" /usr/share/wine/fonts/tahoma.ttf)
for lib in libQt6Widgets.so.6 libgstreamer-1.0.so.0 libjpeg.so.62; do
  held+=("$(ldconfig -p | awk -v l="$lib" '$1 == l && !n++ { print $NF }')")
done
# The packages that hold those files, asked once (dpkg knows some under / and some under /usr).
queries=()
for f in "${held[@]}"; do queries+=("$f" "/usr${f#/usr}" "${f#/usr}"); done
owners=$(dpkg-query -S "${queries[@]}" 2>/dev/null || true)
needed=()
for f in "${held[@]}"; do
  p=$(awk -F': ' -v a="/usr${f#/usr}" -v b="${f#/usr}" '$2 == a || $2 == b { print $1; exit }' <<<"$owners")
  [ -n "$p" ] || fail "no package holds $f"
  needed+=("${p%%:*}")
done
depends=" $(field Depends | sed 's/([^)]*)//g; s/,/ /g') "
# TagLib's library lives in a flavour package (libtag1v5-vanilla) that libtag1v5 brings.
for p in $(printf '%s\n' "${needed[@]}" libtag1v5 | sort -u); do
  [[ "$depends" == *" $p "* ]] || fail "Depends lacks $p"
done

echo "-- files"
dpkg-deb -x "$deb" "$WORK/root"
files_below "$WORK/root" >"$WORK/got"
diff <({ expected_files | sed 's|^|usr/|'; printf '%s\n' usr/share/doc/velodra/changelog.gz \
         usr/share/doc/velodra/copyright; } | LC_ALL=C sort) "$WORK/got" ||
  fail "the package's files differ from the expected ones (above: < expected, > packed)"

echo "-- the packaged tools, from another folder"
bin="$WORK/root/usr/bin"
lib="$WORK/Music"
mkdir -p "$lib/Band/Live" "$lib/Solo"
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=3" \
  -ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 -metadata title="Packed Tone" \
  -metadata artist="Velodra" "$lib/Band/Live/01 tone.mp3"
cp "$lib/Band/Live/01 tone.mp3" "$lib/Solo/b.mp3"
cp "$lib/Band/Live/01 tone.mp3" "$lib/Solo/a.mp3"
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=2" \
  -c:a flac -metadata title="Packed Flac" "$lib/Solo/c.flac"
cd "$WORK"
info=$(env -u DISPLAY "$bin/velodra-info" "$lib/Band/Live/01 tone.mp3") || fail "velodra-info failed"
echo "$info"
grep -qx 'Title: Packed Tone' <<<"$info" || fail "velodra-info: no title"
grep -qx 'Artist: Velodra' <<<"$info" || fail "velodra-info: no artist"
grep -qx 'SampleRate: 44100' <<<"$info" || fail "velodra-info: sample rate"
[ "$(env -u DISPLAY "$bin/velodra-info" "$lib/Solo/c.flac" | grep -x 'Title: .*')" = 'Title: Packed Flac' ] ||
  fail "velodra-info: no FLAC title (TagLib)"
scan=$(env -u DISPLAY XDG_RUNTIME_DIR="$WORK" "$bin/velodra-scan" "$lib") || fail "velodra-scan failed"
echo "$scan"
[ "$scan" = "$(printf './Band/Live\n  01 tone.mp3\n./Solo\n  a.mp3\n  b.mp3')" ] ||
  fail "velodra-scan listed another library"

echo "-- the packaged player's --help and --version: on stdout, exit 0, without a display"
help=$(env -u DISPLAY XDG_CONFIG_HOME="$WORK/cfg" "$bin/velodra" Music --help 2>"$WORK/err") &&
  version=$(env -u DISPLAY "$bin/velodra" --version 2>>"$WORK/err") && [ ! -s "$WORK/err" ] ||
  fail "--help or --version: $(cat "$WORK/err")"
[ "$version" = "velodra $VELODRA_VERSION" ] || fail "velodra --version: $version"
grep -q "(here $WORK/cfg/velodra.ini)" <<<"$help" || fail "--help names no settings file: $help"
echo "-- arguments after the first are named on stderr (here by a second copy, which leaves)"
mkdir -m 700 "$WORK/run"
out=$(XDG_RUNTIME_DIR="$WORK/run" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
      flock "$WORK/run/Velodra.lock" timeout 10 "$bin/velodra" a b "c'd" 2>&1)
[ "$out" = "$(printf "velodra: only the first argument is used; ignored: %s\n" "'b'" "'c''d'")" ] ||
  fail "extra arguments: $out"

check_programs "$bin" "$WORK/root/usr/share/man/man1"

echo "-- the packaged player: its window and icon"
VELODRA_UNDER_TEST="$bin/velodra" bash "$ROOT/tests/e2e/appicon_e2e.sh" "$BUILD_DIR" ||
  fail "the packaged player"

echo "-- lintian"
lintian --display-info "$deb" >"$WORK/lintian.txt" 2>&1 || true
cat "$WORK/lintian.txt"
! grep -q '^E:' "$WORK/lintian.txt" || fail "lintian reports errors"
! grep -qE ': (hardening-[a-z-]+|no-manual-page) ' "$WORK/lintian.txt" ||
  fail "lintian reports a hardening tag or a program without a manual page"
echo "deb test passed"
