#!/bin/bash
# Runs the end-to-end suite alone, in a Wine environment of its own (scripts/test.sh runs it
# through CTest with the test run's environment). Needs the native and the Windows build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${ZARVEL_BUILD_DIR:-$root/build}"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$build/e2e-wine"
python3 "$root/tests/e2e/suite.py" --program "$build/windows/bin/Zarvel-Update.exe" \
    --inspector "$build/windows/tests/e2e/e2e_inspect.exe" \
    --sim "$build/native/tools/station-sim/station-sim" --out "$build/e2e-out" "$@"
