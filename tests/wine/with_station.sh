#!/bin/bash
# Runs one test program with the station simulator on a free COM port of the Wine set-up
# (scripts/wine-env.sh), and always stops the simulator afterwards.
#
#   with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]...
#
# The simulator gets --link to the claimed port's symlink, a control FIFO, a transcript and
# --save-image in a fresh folder; COMMAND runs with ZARVEL_SIM_PORT (the COM port number) and
# ZARVEL_SIM_DIR (that folder: sim.out, control, transcript.txt, image.bin). On failure the
# simulator's output and transcript are printed.
set -uo pipefail

readonly kStartTimeoutS=30   # the simulator prints its pty line within this time
readonly kProgramTimeoutS=480 # below the tests' CTest timeout, so that this script still cleans up

die() {
    echo "with_station.sh: $*" >&2
    exit 2
}

[ -n "${ZARVEL_STATION_SIM:-}" ] && [ -x "$ZARVEL_STATION_SIM" ] ||
    die "ZARVEL_STATION_SIM must name the native station-sim binary (scripts/test.sh sets it)"
[ -n "${ZARVEL_COM_LINK_DIR:-}" ] && [ -d "$ZARVEL_COM_LINK_DIR" ] ||
    die "ZARVEL_COM_LINK_DIR is not set; run inside scripts/wine-env.sh's set-up"

sim_options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    sim_options+=("$1")
    shift
done
[ "${1:-}" = "--" ] && [ $# -ge 2 ] || die "usage: with_station.sh [SIMULATOR OPTION]... -- COMMAND [ARG]..."
shift

links="$ZARVEL_COM_LINK_DIR"
claim=""
sim_pid=""
port=""
work="$(mktemp -d "${TMPDIR:-/tmp}/zarvel-sim.XXXXXX")"
status=1

cleanup() {
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null
        local waited=0
        while kill -0 "$sim_pid" 2>/dev/null && [ $waited -lt 50 ]; do sleep 0.1; waited=$((waited + 1)); done
        kill -KILL "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    # Back to the state wine-env.sh left: the port leads nowhere useful until the next simulator.
    [ -n "$port" ] && ln -sfn /dev/null "$links/com$port"
    [ -n "$claim" ] && rm -rf "$claim"
    if [ "$status" -ne 0 ]; then
        echo "--- simulator output ($work/sim.out) ---"
        cat "$work/sim.out" "$work/sim.err" 2>/dev/null
        echo "--- simulator transcript ---"
        tail -n 60 "$work/transcript.txt" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# One port per simulator; a claim whose owner is gone is taken over.
for candidate in 5 6 7 8; do
    dir="$links/com$candidate.claim"
    if ! mkdir "$dir" 2>/dev/null; then
        owner="$(cat "$dir/pid" 2>/dev/null)"
        [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null && continue
        rm -rf "$dir"
        mkdir "$dir" 2>/dev/null || continue
    fi
    echo $$ >"$dir/pid"
    claim="$dir"
    port="$candidate"
    break
done
[ -n "$port" ] || die "COM5..COM8 are all taken by other simulators"

"$ZARVEL_STATION_SIM" --link "$links/com$port" --control "$work/control" \
    --transcript "$work/transcript.txt" --save-image "$work/image.bin" "${sim_options[@]}" \
    >"$work/sim.out" 2>"$work/sim.err" </dev/null &
sim_pid=$!

waited=0
until grep -q '^pty ' "$work/sim.out" 2>/dev/null; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ $waited -ge $((kStartTimeoutS * 10)) ]; then
        echo "with_station.sh: the simulator did not start" >&2
        exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
done

ZARVEL_SIM_PORT="$port" ZARVEL_SIM_DIR="$work" timeout --kill-after=10 "$kProgramTimeoutS" "$@"
status=$?
exit "$status"
