#!/bin/bash
# Benchmarks (speed and memory figures); kept apart from the tests.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
configure_native "$build/bench" Release
cmake --build "$build/bench" -j "$(nproc)"
"$build/bench/tools/bench/benchmarks" "$@"
