#!/usr/bin/env bash
# Rebuilds the PNG pictures of this folder from make_icons.cpp.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O1 -fPIC -Wall -Wextra -Wpedantic -Wshadow "$here/make_icons.cpp" -o "$tmp/make_icons" \
  $(pkg-config --cflags --libs Qt6Gui)
"$tmp/make_icons" "$here"
