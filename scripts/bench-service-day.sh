#!/bin/bash
# A service centre's day as a benchmark: one run of the release-built Zarvel-Update.exe under
# Wine updates UPDATES instruments (default 20) through "Обновить следующий прибор" against the
# station simulator, and prints the Wine process's resident memory, threads and open descriptors
# after the first and after the last update, and the history's line count. About 20 s an update.
#
#   scripts/bench-service-day.sh [UPDATES]
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"

build_bench "$build" station-sim -- Zarvel-Update e2e_inspect

trap wine_env_stop EXIT
wine_env_start "$build/bench-day-wine"
python3 "$root/tools/bench/service_day.py" --program "$build/bench-windows/bin/Zarvel-Update.exe" \
    --inspector "$build/bench-windows/tests/e2e/e2e_inspect.exe" --sim "$build/bench/tools/station-sim/station-sim" \
    --link "$ZARVEL_COM_LINK_DIR/com5" --out "$build/bench-day" --updates "${1:-20}"
