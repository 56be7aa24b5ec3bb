#!/usr/bin/env bash
# Renders the application icon's PNG sizes from velodra.svg (rsvg-convert, package librsvg2-bin).
# Run it after changing the drawing; the PNG files it writes are committed next to the SVG.
#   make_app_icon.sh [OUTPUT_FOLDER]   (default: this folder)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here}"
mkdir -p "$out"
for size in 16 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --output "$out/velodra-$size.png" "$here/velodra.svg"
done
