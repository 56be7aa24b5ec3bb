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
  } | LC_ALL=C sort
}

# files_below DIR: every file and link below DIR, relative, sorted.
files_below() { (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort); }
