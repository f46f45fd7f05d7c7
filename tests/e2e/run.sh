#!/bin/bash
# The end-to-end suite in two Wine environments, each on a screen of its own: 1366 x 768, and 2560 x 1600 at
# 144 dpi for the instrument that never comes back. Options go on to suite.py after these; needs both builds.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
wine_dir="${ZARVEL_E2E_WINE_DIR:-$build/e2e-wine}"
export ZARVEL_SCREEN=1366x768x24
trap 'wine_env_stop; WINEPREFIX="${ZARVEL_E2E_LATE_PREFIX:-}" WINE_ENV_XVFB_PID="${late_xvfb:-}" wine_env_stop' EXIT
ZARVEL_SCREEN=2560x1600x24 ZARVEL_DPI=144 wine_env_start "$wine_dir/late"
export ZARVEL_E2E_LATE_PREFIX="$WINEPREFIX" ZARVEL_E2E_LATE_DISPLAY="$DISPLAY" late_xvfb="$WINE_ENV_XVFB_PID"
wine_env_start "$wine_dir"
python3 "$root/tests/e2e/suite.py" --program "$build/windows/bin/Zarvel-Update.exe" \
    --inspector "$build/windows/tests/e2e/e2e_inspect.exe" \
    --sim "${ZARVEL_STATION_SIM:-$build/native/tools/station-sim/station-sim}" --out "$build/e2e-out" "$@"
