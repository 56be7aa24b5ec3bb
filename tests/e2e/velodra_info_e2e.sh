#!/usr/bin/env bash
# velodra-info on real files made by ffmpeg, checked against what the encoder was asked for.
set -uo pipefail
build=${1:?usage: velodra_info_e2e.sh BUILD_DIR}
tool="$build/tools/velodra-info"
[ -x "$tool" ] || { echo "missing $tool"; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

tone() { # out seconds rate channels ffmpeg-output-options...
    local out=$1 secs=$2 rate=$3 ch=$4
    shift 4
    ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi \
        -i "sine=frequency=440:sample_rate=$rate:duration=$secs" -ac "$ch" "$@" "$out" ||
        { echo "ffmpeg failed for $out"; exit 1; }
}

# field FILE KEY: the value of one "Key: value" line of the plain output.
field() { "$tool" "$1" | sed -n "s/^$2: //p"; }

expect() { # file key expected
    local got
    got=$(field "$1" "$2")
    if [ "$got" != "$3" ]; then
        echo "FAIL $(basename "$1") $2: got '$got', want '$3'"
        failures=$((failures + 1))
    fi
}
expect_near() { # file key expected tolerance
    local got
    got=$(field "$1" "$2")
    if ! [[ "$got" =~ ^[0-9]+$ ]] || [ $((got > $3 ? got - $3 : $3 - got)) -gt "$4" ]; then
        echo "FAIL $(basename "$1") $2: got '$got', want $3 +- $4"
        failures=$((failures + 1))
    fi
}

# CBR 128k, no Xing/Info frame: rate and length come from the first header and the size.
cbr="$work/cbr.mp3"
tone "$cbr" 10 44100 2 -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 3 -write_id3v1 1 \
    -metadata title="Cbr	Title" -metadata artist="The  Artist" -metadata album="Cbr Album" \
    -metadata track=4 -metadata date=2003 -metadata genre=Rock -metadata comment="Fine"
expect "$cbr" Title "Cbr Title"
expect "$cbr" Artist "The Artist"
expect "$cbr" Album "Cbr Album"
expect "$cbr" Track 4
expect "$cbr" Year 2003
expect "$cbr" Genre Rock
expect "$cbr" Comment Fine
expect "$cbr" SampleRate 44100
expect "$cbr" BitRate 128
expect_near "$cbr" Duration 10000 1000

# VBR with a Xing header: the shown rate is the average, matching size over time.
vbr="$work/vbr.mp3"
tone "$vbr" 8 48000 2 -c:a libmp3lame -q:a 2 -metadata title="Variable"
expect "$vbr" Title Variable
expect "$vbr" SampleRate 48000
expect_near "$vbr" Duration 8000 1000
size=$(stat -c %s "$vbr")
expect_near "$vbr" BitRate $((size * 8 / 8 / 1000)) 8

# MPEG-2 at 22.05 kHz, mono.
m2="$work/mpeg2.mp3"
tone "$m2" 6 22050 1 -c:a libmp3lame -b:a 32k -write_xing 0
expect "$m2" SampleRate 22050
expect "$m2" ChannelMode "Single Channel"
expect "$m2" BitRate 32
expect_near "$m2" Duration 6000 1000

# WMA with metadata the header reader takes.
wma="$work/song.wma"
tone "$wma" 5 44100 2 -c:a wmav2 -b:a 128k -metadata title="Wma Title" -metadata artist="Wma Artist" \
    -metadata album="Wma Album" -metadata genre=Jazz -metadata "WM/Track=6" -metadata "WM/Year=1998"
expect "$wma" Title "Wma Title"
expect "$wma" Artist "Wma Artist"
expect "$wma" Album "Wma Album"
expect "$wma" Genre Jazz
expect "$wma" Track 6
expect "$wma" Year 1998
expect "$wma" ChannelMode Stereo
expect "$wma" SampleRate 44100
expect "$wma" BitRate 128
expect_near "$wma" Duration 5000 1000

# WMA with a track "3/9" (WM/TrackNumber): the length is the header's play duration less the
# preroll, not the size estimate (22 s here).
tone "$work/track.wma" 20 44100 2 -c:a wmav2 -b:a 128k -metadata track=3/9
expect "$work/track.wma" Track 3
expect_near "$work/track.wma" Duration 20000 100

# JSON: one object per file per line with every key; a missing file is reported, others print.
json=$("$tool" --json "$cbr" "$work/missing.mp3" "$wma" 2>"$work/err")
status=$?
[ "$status" -eq 1 ] || { echo "FAIL exit status $status with a missing file, want 1"; failures=$((failures + 1)); }
grep -q "missing.mp3" "$work/err" || { echo "FAIL missing file not reported on stderr"; failures=$((failures + 1)); }
[ "$(printf '%s\n' "$json" | wc -l)" -eq 2 ] || { echo "FAIL want 2 JSON lines"; failures=$((failures + 1)); }
first=$(printf '%s\n' "$json" | head -n 1)
for key in path title artist album track year genre comment channelMode sampleRate bitRate durationMs; do
    [[ "$first" == *"\"$key\":"* ]] || { echo "FAIL JSON key $key missing"; failures=$((failures + 1)); }
done
[[ "$first" == *'"title":"Cbr Title"'* && "$first" == *'"bitRate":128'* ]] ||
    { echo "FAIL JSON values: $first"; failures=$((failures + 1)); }
if command -v python3 >/dev/null; then
    printf '%s\n' "$json" | python3 -c 'import json,sys; [json.loads(l) for l in sys.stdin]' ||
        { echo "FAIL JSON does not parse"; failures=$((failures + 1)); }
fi

# Plain output: a blank line between files.
blank=$("$tool" "$cbr" "$wma" | grep -c '^$')
[ "$blank" -eq 1 ] || { echo "FAIL want one blank line between two files, got $blank"; failures=$((failures + 1)); }

# A control character inside a value: the plain output shows the whole value with the
# character as its control picture (U+0000 as U+2400), and every later field still prints;
# JSON escapes it. The encoder's own file, with the space of its title made a U+0000.
nul="$work/nul.wma"
cp "$wma" "$nul"
offsets=$(grep -obUaP 'W\x00m\x00a\x00 \x00T\x00' "$nul" | cut -d: -f1)
[ -n "$offsets" ] || { echo "FAIL title not found in the encoder's file"; failures=$((failures + 1)); }
for at in $offsets; do
    printf '\000' | dd of="$nul" bs=1 seek=$((at + 6)) conv=notrunc status=none
done
expect "$nul" Title "Wma␀Title"
expect "$nul" Artist "Wma Artist"
expect "$nul" Duration "$(field "$wma" Duration)"
[[ "$("$tool" --json "$nul")" == *'"title":"Wma\u0000Title","artist":"Wma Artist"'* ]] ||
    { echo "FAIL JSON of a U+0000: $("$tool" --json "$nul")"; failures=$((failures + 1)); }

# A file that cannot be read is reported between the files before and after it.
"$tool" "$cbr" "$work/missing.mp3" "$wma" >"$work/both" 2>&1
order=$(sed -n -e 's/^Path: .*/P/p' -e 's/.*cannot read.*/E/p' "$work/both" | tr -d '\n')
[ "$order" = PEP ] ||
    { echo "FAIL report out of order: $order"; failures=$((failures + 1)); }

# Usage errors.
"$tool" >/dev/null 2>&1; [ $? -eq 2 ] || { echo "FAIL no arguments must exit 2"; failures=$((failures + 1)); }
"$tool" --bogus "$cbr" >/dev/null 2>&1; [ $? -eq 2 ] || { echo "FAIL unknown option must exit 2"; failures=$((failures + 1)); }
"$tool" "$cbr" >/dev/null 2>&1 || { echo "FAIL a readable file must exit 0"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "velodra-info: all checks passed"
