#!/bin/bash
# at_dpi.sh DPI WIDTHxHEIGHT DIR -- COMMAND...: runs COMMAND in a Wine set-up of its own on a screen of that size and
# DPI (the registry's LogPixels, as Windows' display scaling sets it), with Open Sans and with DejaVu Sans for Segoe UI.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
export ZARVEL_DPI="$1" ZARVEL_SCREEN="$2x24" dir="$3" && shift 4
trap wine_env_stop EXIT
for ZARVEL_UI_FACE in "Open Sans" "DejaVu Sans"; do # a set-up that does not start fails the run, as a test does
    export ZARVEL_UI_FACE
    wine_env_start "$dir"
    echo "== $ZARVEL_DPI dpi on $ZARVEL_SCREEN, Segoe UI as $ZARVEL_UI_FACE" && "$@"
    wine_env_stop
done
