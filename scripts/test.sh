#!/bin/bash
# Runs every test: installs what is missing, checks the C++ layout, builds natively (plain, AddressSanitizer and
# ThreadSanitizer) and for Windows, runs the unit tests natively and under Wine, then the tests
# that need Windows for real (serial link against the simulator, the window, end to end), and
# last the release: signed with a throw-away certificate, its MSI installed under Wine.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
jobs="$(nproc)"
started=$(date +%s)

"$root/scripts/install-deps.sh"

stage() { printf '\n=== %s ===\n' "$*"; }

native() {
    local name="$1"
    shift
    configure_native "$build/$name" RelWithDebInfo "$@"
    cmake --build "$build/$name" -j "$jobs"
    ctest --test-dir "$build/$name" --output-on-failure
}

mkdir -p "$build"

stage "C++ layout (clang-format --dry-run -Werror)"
"$root/scripts/format.sh" --check

stage "native build and tests"
native native

stage "AddressSanitizer (leaks, memory errors, undefined behaviour)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 native asan -DZARVEL_SANITIZE=address

stage "ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 native tsan -DZARVEL_SANITIZE=thread

stage "Windows build (mingw-w64)"
configure_windows "$build/windows" RelWithDebInfo
cmake --build "$build/windows" -j "$jobs"

stage "Windows tests under Wine"
trap wine_env_stop EXIT
wine_env_start "$build/wine"
export ZARVEL_STATION_SIM="$build/native/tools/station-sim/station-sim"
e2e_report="$build/windows/tests/e2e/out/suite.txt"
rm -f "$e2e_report"
wine_status=0
ctest --test-dir "$build/windows" --output-on-failure || wine_status=$?
if [ -f "$e2e_report" ]; then
    echo "End-to-end suite ($e2e_report): $(tail -n 2 "$e2e_report" | paste -sd ',' | sed 's/,/, /')"
fi
[ "$wine_status" -eq 0 ] || exit "$wine_status"

stage "release: signed with a throw-away certificate, its MSI installed under Wine"
"$root/tests/release/check_release.sh" "$build/release-check"

stage "all tests passed in $(( $(date +%s) - started )) s"
