#!/usr/bin/env bash
# The notification pop-up on a real X server (Xvfb): it shows in the lower right corner of a
# screenshot of the screen, and the window that had the keyboard keeps it.
set -euo pipefail
build="${1:?usage: notify_popup_e2e.sh BUILD_DIR}"
bin="${NOTIFY_TEST:-$build/tests/ui_notify_test}"
if [ ! -x "$bin" ]; then
  echo "notify_popup_e2e: $bin was not built" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" VELODRA_SCREENSHOT="$work/screen.png"

timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$bin" --gtest_filter='*RealScreen*' >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
cat "$work/log"
grep -q '^\[  PASSED  \] 1 test' "$work/log"
if grep -q '^\[  SKIPPED \]' "$work/log"; then
  echo "notify_popup_e2e: the on-screen test did not run" >&2
  exit 1
fi

# A second look at the screenshot itself: the corner pixel is the pop-up's, and 181 pixels to
# its left lies the bare root window.
test -s "$work/screen.png"
size="$(convert "$work/screen.png" -format '%w %h' info:)"
[ "$size" = "1024 768" ]
corner="$(convert "$work/screen.png" -format '%[pixel:p{1022,766}]' info:)"
outside="$(convert "$work/screen.png" -format '%[pixel:p{841,766}]' info:)"
echo "corner $corner, outside $outside"
[ "$corner" != "$outside" ]
