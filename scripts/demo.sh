#!/bin/bash
# The demo: installs what is missing, builds, makes a sample firmware file (fw_v1.2.3.bin),
# starts the data-station simulator on COM5 of a private Wine prefix and runs Zarvel Update
# against it.
#   - With a usable display (DISPLAY set and answering) the program opens there and you click
#     through the update yourself; the README says what to do.
#   - Without one it runs headless under Xvfb, clicks through a whole update as a user would,
#     saves a screenshot of every page and prints where they are, and the log.
# ZARVEL_DEMO_HEADLESS=1 forces the headless run; ZARVEL_DEMO_DIR puts its files elsewhere than build/demo.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
demo="${ZARVEL_DEMO_DIR:-$build/demo}"
version="1.2.3"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"

echo "Building the simulator and the Windows program…"
configure_native "$build/native" RelWithDebInfo
quietly "$build/demo-native-build.log" cmake --build "$build/native" -j "$jobs" --target station-sim
configure_windows "$build/windows" RelWithDebInfo
quietly "$build/demo-windows-build.log" cmake --build "$build/windows" -j "$jobs" --target Zarvel-Update e2e_inspect

sim="$build/native/tools/station-sim/station-sim"
exe="$build/windows/bin/Zarvel-Update.exe"
mkdir -p "$demo"
firmware="$demo/fw_v$version.bin"
# 200 blocks of 120 bytes, the last one padded with 0xFF by the program: a few seconds of transfer.
python3 - "$root/tests/e2e" "$firmware" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from driver import sample_firmware
with open(sys.argv[2], "wb") as file:
    file.write(sample_firmware(23950))
PY
echo "Sample firmware: $firmware"

headless=1
if [ -z "${ZARVEL_DEMO_HEADLESS:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    headless=0
    export ZARVEL_KEEP_DISPLAY=1
fi

sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    wine_env_stop
}
trap cleanup EXIT
echo "Preparing a private Wine prefix in $demo/wine (COM5 is the simulator)…"
wine_env_start "$demo/wine"

if [ "$headless" = 1 ]; then
    echo "No display: running the update headless under Xvfb ($DISPLAY)."
    status=0
    python3 "$root/scripts/demo-headless.py" --program "$exe" --inspector "$build/windows/tests/e2e/e2e_inspect.exe" \
        --sim "$sim" --firmware "$firmware" --version "$version" --link "$ZARVEL_COM_LINK_DIR/com5" --out "$demo" || status=$?
    echo
    echo "=== $demo/program/Zarvel-Update.log ==="
    cat "$demo/program/Zarvel-Update.log"
    exit $status
fi

program_dir="$demo/program"
mkdir -p "$program_dir"
cp "$exe" "$program_dir/"
rm -rf "$program_dir/assets" && cp -r "$build/windows/bin/assets" "$program_dir/"
control="$demo/station-control"
"$sim" --link "$ZARVEL_COM_LINK_DIR/com5" --control "$control" --transcript "$demo/transcript.txt" \
    --new-version "$version" >"$demo/station-events.txt" 2>&1 &
sim_pid=$!
poll_until --alive "$sim_pid" 30 grep -qs '^pty ' "$demo/station-events.txt" ||
    { cat "$demo/station-events.txt"; exit 1; }

cat <<EOF

Zarvel Update opens on your display; the simulated data station is COM5 with the instrument
on it (firmware 1.0.0, battery 3.95 V).
  1. Wait for the check page ("Проверка перед обновлением").
  2. Click "Выбрать другой файл", type this path as the file name and press Enter:
       Z:${firmware//\//\\}
  3. Tick "Я понимаю возможные риски и хочу продолжить" and click "Начать обновление".
  4. After the transfer the program resets the instrument and asks you to lift it and place it
     back: the simulator brings it back by itself after 3 s, so just click "Прибор установлен".
     (To play the technician's hands: echo lift > $control; echo place > $control)
  5. The done page shows version $version. Close the window to end the demo.
Station events: $demo/station-events.txt   Transcript: $demo/transcript.txt

EOF
(cd "$program_dir" && wine Zarvel-Update.exe >"$demo/wine-output.txt" 2>&1) || true
echo "=== $program_dir/Zarvel-Update.log ==="
cat "$program_dir/Zarvel-Update.log"
