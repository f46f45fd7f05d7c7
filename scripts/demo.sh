#!/bin/bash
# The demo: installs what is missing, builds the Windows program and runs it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZARVEL_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/windows" -j "$(nproc)" --target Zarvel-Update
echo "Built $build/windows/bin/Zarvel-Update.exe (the window comes with the user interface)."
