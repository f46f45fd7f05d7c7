#!/bin/bash
# Renders the artwork sources in assets/art/ into the pictures the program loads and the icon
# resource the exe carries:
#   assets/logo.png        300 x 82   (header, drawn 1:1)
#   assets/ksaron4_ui.png  500 x 500  (the instrument in its data station)
#   assets/logo@2x.png, assets/ksaron4_ui@2x.png  twice those sizes, drawn smaller on high-DPI screens
#   assets/icon.png        256 x 256  RGBA (window, tray and dialog icon)
#   assets/icon.ico        one 256 x 256 PNG image (icon group 101 of assets/resources.rc)
# Installs librsvg2-bin when rsvg-convert is missing. Safe to run again.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
art="$root/assets/art"
out="$root/assets"

command -v rsvg-convert >/dev/null || install_packages librsvg2-bin

render() { # source width height target
    rsvg-convert --format=png --width="$2" --height="$3" --output="$4" "$art/$1"
}
render logo.svg 300 82 "$out/logo.png"
render ksaron4_ui.svg 500 500 "$out/ksaron4_ui.png"
render logo.svg 600 164 "$out/logo@2x.png"
render ksaron4_ui.svg 1000 1000 "$out/ksaron4_ui@2x.png"
render icon.svg 256 256 "$out/icon.png"

# An .ico is ICONDIR, one ICONDIRENTRY per image, then the images; a PNG image may be stored as is,
# and 0 in the width and height bytes means 256.
python3 - "$out/icon.png" "$out/icon.ico" <<'EOF'
import struct, sys
png = open(sys.argv[1], "rb").read()
width, height, depth, colour = struct.unpack(">IIBB", png[16:26])
if png[:8] != b"\x89PNG\r\n\x1a\n" or (width, height, depth, colour) != (256, 256, 8, 6):
    sys.exit("icon.png must be a 256 x 256 8-bit RGBA PNG")
header = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png), 6 + 16)
open(sys.argv[2], "wb").write(header + entry + png)
EOF

for file in logo.png ksaron4_ui.png logo@2x.png ksaron4_ui@2x.png icon.png icon.ico; do
    echo "$file: $(stat -c %s "$out/$file") bytes"
done
