#!/bin/bash
# Makes the README's pictures from real runs: Zarvel-Update.exe under Wine against the station simulator,
# clicked through one whole update as the headless demo does (scripts/demo.sh), with Open Sans standing in
# for Segoe UI: on a 1920 x 1080 screen at 96 dpi (the four pages and the reinstall pop-up), on a
# 2560 x 1600 screen at 144 dpi (150 %) and on a 1366 x 768 screen (the check page). Written at half size,
# as small palette PNGs, to docs/screenshots/. Takes a few minutes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZARVEL_BUILD_DIR:-$root/build}"
out="$root/docs/screenshots"
# ImageMagick 6 under its versioned name; a plain "convert" may be something else.
convert="$(command -v convert-im6.q16 || command -v convert)"

run() { # NAME WIDTHxHEIGHT DPI: one headless demo run; its screenshots land in build/readme-NAME/screenshots
    echo "A real run on a $2 screen at $3 dpi…"
    ZARVEL_DEMO_HEADLESS=1 ZARVEL_DEMO_DIR="$build/readme-$1" ZARVEL_SCREEN="$2x24" ZARVEL_DPI="$3" \
        "$root/scripts/demo.sh" >"$build/readme-$1.log" 2>&1 || { tail -n 40 "$build/readme-$1.log"; exit 1; }
}
mkdir -p "$build" "$out"
run 96dpi 1920x1080 96
run 144dpi 2560x1600 144
run small 1366x768 96

for pair in 96dpi/1-connect-page:connect 96dpi/3-check-page-ready:check 96dpi/4-update-page:update \
    96dpi/6-done-page:done 96dpi/5-reinstall-dialog:reinstall 144dpi/3-check-page-ready:check-144dpi \
    small/3-check-page-ready:check-1366x768; do
    source_name="$build/readme-${pair%%/*}/screenshots/$(basename "${pair%%:*}").png"
    target="$out/${pair#*:}.png"
    "$convert" "$source_name" -filter Lanczos -resize 50% -colors 256 -strip "PNG8:$target"
    echo "$target: $(stat -c %s "$target") bytes"
done
