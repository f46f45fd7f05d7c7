#!/bin/bash
# Makes the README's pictures from the screenshots that the Wine UI tests leave in
# build/windows/screenshots (run scripts/test.sh first): the four pages, the reinstall pop-up in
# front of the window and the check page on a 1366 x 768 screen, at half size, as small palette
# PNGs in docs/screenshots/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
shots="${ZARVEL_BUILD_DIR:-$root/build}/windows/screenshots"
out="$root/docs/screenshots"
# ImageMagick 6 under its versioned name; a plain "convert" may be something else.
convert="$(command -v convert-im6.q16 || command -v convert)"

mkdir -p "$out"
for pair in page1_connect:connect page2_check_start_enabled:check page3_update:update page4_done:done \
    reinstall_window:reinstall page2_check_1366x768:check-1366x768; do
    source_name="${pair%%:*}"
    target="$out/${pair#*:}.png"
    "$convert" "$shots/$source_name.png" -filter Lanczos -resize 50% -colors 256 -strip "PNG8:$target"
    echo "$target: $(stat -c %s "$target") bytes"
done
