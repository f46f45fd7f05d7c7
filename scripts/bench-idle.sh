#!/bin/bash
# What the program costs while it waits: the CPU of the release-built Zarvel-Update.exe's Wine process, read from
# /proc, while the connect page polls two COM ports where no station answers, and while the check page waits with
# a station and an instrument (station-sim); SECONDS each (default 20), as a percentage of one core.
#
#   scripts/bench-idle.sh [SECONDS]
set -euo pipefail
# Wine makes every serial device of the machine a COM port as well. As root the benchmark runs in a mount namespace
# of its own whose /dev lacks them, so that the program lists the two ports here alone; else the scan line shows them.
if [ "$(id -u)" -eq 0 ] && [ -z "${ZARVEL_BENCH_OWN_DEV:-}" ]; then
    exec env ZARVEL_BENCH_OWN_DEV=1 unshare -m "$0" "$@"
fi
if [ -n "${ZARVEL_BENCH_OWN_DEV:-}" ]; then
    dev="$(mktemp -d)"
    mount -t tmpfs -o mode=755 tmpfs "$dev"
    for entry in /dev/*; do
        case "${entry#/dev/}" in ttyS[0-9]* | ttyUSB[0-9]* | ttyACM[0-9]*) continue ;; esac
        if [ -d "$entry" ] && [ ! -L "$entry" ]; then
            mkdir "$dev/${entry#/dev/}" && mount --rbind "$entry" "$dev/${entry#/dev/}"
        else
            cp -a "$entry" "$dev/"
        fi
    done
    mount --move "$dev" /dev
fi
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"

build_bench "$build" station-sim -- Zarvel-Update e2e_inspect

trap wine_env_stop EXIT
wine_env_start "$build/bench-idle-wine"
# Two ports only, COM5 and COM6: the other links of the set-up go, and the server starts again to list what remains.
for port in 1 2 3 4 7 8; do wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$port" /f >/dev/null 2>&1; done
wineserver -k && wineserver -w
rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
wineserver -p >/dev/null 2>&1
python3 "$root/tools/bench/idle_cpu.py" --program "$build/bench-windows/bin/Zarvel-Update.exe" \
    --inspector "$build/bench-windows/tests/e2e/e2e_inspect.exe" --sim "$build/bench/tools/station-sim/station-sim" \
    --links "$ZARVEL_COM_LINK_DIR" --out "$build/bench-idle" --seconds "${1:-20}"
