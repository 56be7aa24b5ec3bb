#!/usr/bin/env bash
# velodra-scan on generated trees: the plain listing, the JSON document checked against what
# find sees, the include-WMA, include-other and natural-order switches, errors and their exit
# codes.
set -uo pipefail
build=${1:?usage: velodra_scan_e2e.sh BUILD_DIR}
tool="$build/tools/velodra-scan"
[ -x "$tool" ] || { echo "missing $tool"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=en_US.UTF-8 XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

lib="$work/My 'Music'"
mkdir -p "$lib/A/B" "$lib/Rock" "$lib/rock" "$lib/dir.mp3" "$lib/.hidden" "$lib/Only WMA" \
         "$lib/caf"$'\xe9'
# A name with a quote, a backslash and a tab, which JSON must escape.
touch "$lib/A/x.mp3" "$lib/A/B/y.mp3" "$lib/Rock/Song.mp3" "$lib/Rock/song.mp3" \
      "$lib/rock/a.MP3" "$lib/dir.mp3/in.mp3" "$lib/.hidden/h.mp3" "$lib/Only WMA/w.wma" \
      "$lib/notes.txt" "$lib/x.mp3.bak" "$lib/caf"$'\xe9'/$'\xff'.mp3 "$lib/top.mp3" \
      "$lib/"$'q"u\\o\tte.mp3' \
      "$lib/Only WMA/c.FLAC" "$lib/Only WMA/d.opus" "$lib/rock/b.m4a" "$lib/rock/x.wav.txt"
mkfifo "$lib/pipe.mp3"
ln -s .. "$lib/A/loop"

# Plain: each folder key, then its files indented, in library order.
expected="./.hidden
  h.mp3
./A/B
  y.mp3
./A
  x.mp3
./caf"$'\xe9'"
  "$'\xff'".mp3
./dir.mp3
  in.mp3
.
  "$'q"u\\o\tte.mp3'"
  top.mp3
./rock
  a.MP3
./Rock
  Song.mp3
  song.mp3"
# No display of any kind is needed: the tool makes no window and no application object.
got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$tool" "$lib" 2>"$work/err")
rc=$?
[ $rc -eq 0 ] || fail "plain run exit $rc"
[ "$got" == "$expected" ] || fail "plain listing:"$'\n'"$got"
[ -s "$work/err" ] && fail "stderr without a display: $(cat "$work/err")"

# JSON: valid, names round-trip to the bytes on disk, and the set of files is what find sees.
timeout 20 "$tool" "$lib/" --include-wma --json >"$work/out.json" || fail "json run exit $?"
python3 - "$lib" "$work/out.json" <<'PY' || failures=$((failures + 1))
import json, os, subprocess, sys
root, out = sys.argv[1], sys.argv[2]
doc = json.load(open(out, encoding="utf-8"))
ok = True
def check(cond, what):
    global ok
    if not cond:
        print("FAIL:", what); ok = False
check(doc["root"] == root + "/", "root as passed: %r" % doc["root"])
listed = []
for f in doc["folders"]:
    for n in f["files"]:
        rel = f["key"] + "/" + n
        listed.append(rel)
        path = os.fsencode(root) + b"/" + rel[2:].encode("utf-8", "surrogateescape")
        check(os.path.isfile(path), "listed file opens: %r" % path)
check(doc["fileCount"] == len(listed), "fileCount %d vs %d" % (doc["fileCount"], len(listed)))
found = subprocess.run(["find", os.fsencode(root), "-type", "f", "(", "-iname", "*.mp3", "-o",
                        "-iname", "*.wma", ")"], capture_output=True, check=True).stdout.split(b"\n")
want = sorted("." + os.fsdecode(p[len(os.fsencode(root)):]) for p in found if p)
check(sorted(listed) == want, "files vs find: %r vs %r" % (sorted(listed), want))
check(len(doc["folders"]) == len({f["key"] for f in doc["folders"]}), "folder keys unique")
sys.exit(0 if ok else 1)
PY

# Without --include-wma the WMA-only folder has no key; --include-other adds the other formats.
timeout 20 "$tool" "$lib" | grep -q '^./Only WMA$' && fail "WMA folder listed without --include-wma"
timeout 20 "$tool" "$lib" --include-wma | grep -q '^./Only WMA$' || fail "WMA folder missing with --include-wma"
# The other formats join the library in their place: the WMA-only folder gets a key with its
# FLAC and Opus files, ./rock its M4A beside its MP3.
other=${expected/$'./dir.mp3\n  in.mp3\n'/$'./dir.mp3\n  in.mp3\n./Only WMA\n  c.FLAC\n  d.opus\n'}
other=${other/$'  a.MP3\n'/$'  a.MP3\n  b.m4a\n'}
got=$(timeout 20 "$tool" --include-other "$lib")
[ "$got" == "$other" ] || fail "--include-other listing:"$'\n'"$got"

# --natural-order: numbers in folder and file names by value.
mkdir -p "$work/nat/Disc 2" "$work/nat/Disc 10"
touch "$work/nat/Disc 2/Track 10.mp3" "$work/nat/Disc 2/Track 9.mp3" "$work/nat/Disc 10/1.mp3"
[ "$(timeout 20 "$tool" --natural-order "$work/nat" | tr '\n' '|')" == \
  "./Disc 2|  Track 9.mp3|  Track 10.mp3|./Disc 10|  1.mp3|" ] || fail "--natural-order listing"

# Errors: the message on stderr, nothing on stdout, exit 1; bad usage exits 2.
err_case() { # root expected-message
    local out err rc
    out=$(timeout 20 "$tool" "$1" 2>"$work/err")
    rc=$?
    err=$(cat "$work/err")
    [ $rc -eq 1 ] || fail "exit $rc for $1"
    [ -z "$out" ] || fail "stdout for $1: $out"
    [ "$err" == "$2" ] || fail "message for $1: '$err', want '$2'"
}
err_case "$work/gone's" "'$work/gone''s' doesn't exist."
mkdir -p "$work/it's empty/sub" && touch "$work/it's empty/sub/a.mp3.txt"
err_case "$work/it's empty/" "Could not find any audio file in '$work/it''s empty'."
# Only files of the other formats: the option that would take them, after the headline.
mkdir -p "$work/others/sub" && touch "$work/others/a.ogg" "$work/others/sub/b.WAV" "$work/others/c.wma"
err_case "$work/others" "Could not find any audio file in '$work/others'."$'\r\r'"It holds FLAC, Ogg, Opus, M4A or WAV files: turn on \"Includes Other Formats\" to play them."
timeout 20 "$tool" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no argument should exit 2"
timeout 20 "$tool" "$lib" --bogus >/dev/null 2>&1; [ $? -eq 2 ] || fail "unknown option should exit 2"

if [ $failures -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "velodra-scan e2e: all checks passed"
