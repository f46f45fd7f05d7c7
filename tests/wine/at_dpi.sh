#!/bin/bash
# at_dpi.sh DPI WIDTHxHEIGHT DIR -- COMMAND [ARG]...: runs COMMAND twice in a Wine set-up of its own whose
# display has that size and DPI (the registry's LogPixels, as Windows' display scaling sets it): once with
# Open Sans standing in for Segoe UI, once with the wide DejaVu Sans.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export ZARVEL_DPI="$1" ZARVEL_SCREEN="$2x24"
size="$2" dir="$3"
shift 4
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$dir"
for face in "Open Sans" "DejaVu Sans"; do
    echo "== $ZARVEL_DPI dpi on $size, Segoe UI shown as $face"
    for segoe in "Segoe UI" "Segoe UI Variable Text" "Segoe UI Variable Display"; do # read as each program starts
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$segoe" /d "$face" /f >/dev/null 2>&1
    done
    "$@"
done
