#!/bin/bash
# How long the program takes to show its window: the release-built Zarvel-Update.exe against a bare Win32 window of
# the same size (tools/bench/bare_window_win32.cpp, built here with the same compiler), started in turn in one Wine
# session, PAIRS pairs (default 9, at least 7); the medians of the time to the first visible window and their ratio.
#
#   scripts/bench-first-window.sh [PAIRS]
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
pairs="${1:-9}"
[ "$pairs" -ge 7 ] || { echo "bench-first-window.sh: at least 7 pairs, for a median worth the name" >&2; exit 2; }

"$root/scripts/install-deps.sh"
configure_windows "$build/bench-windows" Release
cmake --build "$build/bench-windows" -j "$(nproc)" --target Zarvel-Update
mkdir -p "$build/bench-first-window"
bare="$build/bench-first-window/bare_window.exe"
# The flags that matter for a start as the program has them: optimised, static runtime, a GUI subsystem.
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Werror -municode -mwindows -static -static-libgcc \
    -static-libstdc++ "$root/tools/bench/bare_window_win32.cpp" -o "$bare"

trap wine_env_stop EXIT
wine_env_start "$build/bench-first-window-wine"
python3 "$root/tools/bench/first_window.py" --program "$build/bench-windows/bin/Zarvel-Update.exe" --bare "$bare" \
    --out "$build/bench-first-window" --pairs "$pairs"
