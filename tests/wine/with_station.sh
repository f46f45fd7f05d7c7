#!/bin/bash
# Runs one test program with the station simulator on a free COM port of the Wine set-up
# (scripts/wine-env.sh), and always stops the simulator afterwards.
#   with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]...
# COMMAND gets ZARVEL_SIM_PORT (the COM number) and ZARVEL_SIM_DIR (the simulator's output sim.out
# and transcript.txt, printed when COMMAND fails).
set -uo pipefail

die() { echo "with_station.sh: $*" >&2; exit 2; }
[ -x "${ZARVEL_STATION_SIM:-}" ] || die "ZARVEL_STATION_SIM must name the native station-sim (scripts/test.sh sets it)"
[ -d "${ZARVEL_COM_LINK_DIR:-}" ] || die "ZARVEL_COM_LINK_DIR is not set; run inside scripts/wine-env.sh's set-up"
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
[ $# -ge 2 ] || die "usage: with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]..."
shift

links="$ZARVEL_COM_LINK_DIR" work="$(mktemp -d)" port="" sim="" status=1
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    # Back to what wine-env.sh left: the port leads nowhere until the next simulator.
    [ -n "$port" ] && ln -sfn /dev/null "$links/com$port" && rm -rf "$links/com$port.claim"
    [ "$status" -ne 0 ] && cat "$work/sim.out" && tail -n 60 "$work/transcript.txt"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# One port per simulator; a claim whose owner has gone is taken over.
for candidate in 5 6 7 8; do
    claim="$links/com$candidate.claim"
    owner="$(cat "$claim/pid" 2>/dev/null)"
    [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null && continue
    rm -rf "$claim"
    mkdir "$claim" 2>/dev/null || continue
    echo $$ >"$claim/pid" && port="$candidate" && break
done
[ -n "$port" ] || die "COM5..COM8 are all taken by other simulators"

"$ZARVEL_STATION_SIM" --link "$links/com$port" --transcript "$work/transcript.txt" "${options[@]}" \
    >"$work/sim.out" 2>&1 </dev/null &
sim=$!
for _ in $(seq 300); do # the simulator prints its pty line within 30 s
    grep -q '^pty ' "$work/sim.out" && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
done
grep -q '^pty ' "$work/sim.out" || { echo "with_station.sh: the simulator did not start" >&2; exit 1; }

# Below the CTest timeout, so that the simulator is still stopped here.
ZARVEL_SIM_PORT="$port" ZARVEL_SIM_DIR="$work" timeout --kill-after=10 480 "$@"
status=$?
exit "$status"
