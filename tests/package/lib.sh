# Shared pieces of the install and package checks: a private work folder and what an install
# is expected to hold. Usage from a test: source lib.sh BUILD_DIR
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=$(cd "${1:?build folder}" && pwd)
ID=${VELODRA_APP_ID:?}
WORK=$(mktemp -d /tmp/velodra-package-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every file an install puts below its prefix, sorted.
expected_files() {
  {
    printf '%s\n' bin/velodra bin/velodra-info bin/velodra-scan \
      "share/applications/$ID.desktop" "share/metainfo/$ID.metainfo.xml" \
      "share/icons/hicolor/scalable/apps/$ID.svg"
    for s in 16 32 48 64 128 256; do echo "share/icons/hicolor/${s}x$s/apps/$ID.png"; done
    for p in velodra velodra-info velodra-scan; do echo "share/man/man1/$p.1.gz"; done
  } | LC_ALL=C sort
}

# files_below DIR: every file and link below DIR, relative, sorted.
files_below() { (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort); }

# check_programs BIN_DIR MAN_DIR: each program is hardened as dpkg-buildflags makes it (position
# independent, immediate binding under RELRO, fortified functions, the stack protector), and its
# manual page renders without a warning and names the options its --help names, no more.
check_programs() {
  local p elf syms
  for p in velodra velodra-info velodra-scan; do
    elf=$(readelf -h -d -l -W "$1/$p")
    syms=$(readelf --dyn-syms -W "$1/$p")
    grep -q 'Type: *DYN' <<<"$elf" && grep -q 'Flags:.* PIE' <<<"$elf" || fail "$p is not PIE"
    grep -q GNU_RELRO <<<"$elf" && grep -qE 'BIND_NOW|Flags:.* NOW' <<<"$elf" ||
      fail "$p lacks RELRO with BIND_NOW"
    grep -qE ' __[a-z_]+_chk(@|$)' <<<"$syms" || fail "$p calls no fortified function"
    grep -q ' __stack_chk_fail' <<<"$syms" || fail "$p has no stack protector"
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$2/$p.1.gz" 2>&1 >/dev/null) ||
      fail "man $p failed"
    [ -z "$out" ] || fail "man $p warns: $out"
    diff <(env -u DISPLAY "$1/$p" --help | grep -oE -- '--[a-z-]+' | sort -u) \
         <(zcat "$2/$p.1.gz" | sed 's/\\-/-/g' | grep -oE -- '--[a-z-]+' | sort -u) ||
      fail "$p: the options of --help and of the manual page differ"
  done
}
