#!/bin/bash
# Runs the end-to-end suite in a Wine environment and on an Xvfb screen of its own (CTest too, with the
# build's paths as options, which override these and go on to suite.py). Needs the native and Windows build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${ZARVEL_BUILD_DIR:-$root/build}"
export ZARVEL_SCREEN=1366x768x24  # the suite's screen: the program's windows must fit its work area
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "${ZARVEL_E2E_WINE_DIR:-$build/e2e-wine}"
python3 "$root/tests/e2e/suite.py" --program "$build/windows/bin/Zarvel-Update.exe" \
    --inspector "$build/windows/tests/e2e/e2e_inspect.exe" \
    --sim "${ZARVEL_STATION_SIM:-$build/native/tools/station-sim/station-sim}" --out "$build/e2e-out" "$@"
