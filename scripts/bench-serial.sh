#!/bin/bash
# The serial benchmark: one firmware block exchange (a 244-byte DUB command, the "NEXT" reply)
# against the station simulator with line-rate emulation, timed through the Win32 backend under
# Wine and, for comparison, through the native termios backend. Kept apart from the tests.
#
#   scripts/bench-serial.sh [ITERATIONS]    (default 200)
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
iterations="${1:-200}"

build_bench "$build" station-sim serial_exchange_timing -- serial_exchange_timing

trap wine_env_stop EXIT
wine_env_start "$build/bench-wine"
export ZARVEL_STATION_SIM="$build/bench/tools/station-sim/station-sim"

# Runs inside with_station.sh, which starts the simulator and always stops it.
measure='
echo "Win32 backend under Wine:"
"$1" "$2" "$ZARVEL_SIM_PORT" "$4" </dev/null || exit 1
echo
echo "Native termios backend, for comparison:"
"$3" "$ZARVEL_SIM_PORT" "$4"
'
bash "$root/tests/wine/with_station.sh" --line-rate -- bash -c "$measure" measure "$root/scripts/wine-run.sh" \
    "$build/bench-windows/tools/bench/serial_exchange_timing.exe" "$build/bench/tools/bench/serial_exchange_timing" \
    "$iterations"
