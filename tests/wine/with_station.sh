#!/bin/bash
# with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]...: runs COMMAND with the station simulator on
# COM port $ZARVEL_SIM_PORT (default 5) of wine_env_start's set-up (scripts/lib.sh), and always stops the simulator.
set -uo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
die() { echo "with_station.sh: $*" >&2; exit 2; }
[ -x "${ZARVEL_STATION_SIM:-}" ] && [ -d "${ZARVEL_COM_LINK_DIR:-}" ] || die "run inside scripts/test.sh's Wine set-up"
export ZARVEL_SIM_PORT="${ZARVEL_SIM_PORT:-5}"
link="$ZARVEL_COM_LINK_DIR/com$ZARVEL_SIM_PORT" out="$(mktemp -d)" sim="" status=1
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
[ $# -ge 2 ] || die "usage: with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]..."
shift
cleanup() { # the port back as wine_env_start left it, leading nowhere; what the simulator saw, on a failure
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    ln -sfn /dev/null "$link"
    [ "$status" -ne 0 ] && cat "$out/sim.out" && tail -n 60 "$out/transcript.txt"
    rm -rf "$out"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
"$ZARVEL_STATION_SIM" --link "$link" --transcript "$out/transcript.txt" "${options[@]}" >"$out/sim.out" 2>&1 </dev/null &
sim=$!
poll_until --alive "$sim" 30 grep -qs '^pty ' "$out/sim.out" ||
    { echo "with_station.sh: the simulator did not start" >&2; exit 1; }
timeout --kill-after=10 480 "$@" # below the CTest timeout, so that the simulator is still stopped here
status=$?
exit "$status"
