#!/bin/bash
# Writes the window tests' golden pages (tests/wine/golden/*.png) anew from this tree, in the set-up scripts/test.sh
# runs them in: a fresh Wine prefix at 96 dpi on the default screen, Open Sans with the linked mark fonts. Look at
# every changed picture before it is committed.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build="${ZARVEL_BUILD_DIR:-$root/build}"

configure_windows "$build/windows" RelWithDebInfo
cmake --build "$build/windows" -j "$(nproc)" --target ui_tests
unset ZARVEL_SCREEN ZARVEL_UI_FACE ZARVEL_DPI ZARVEL_KEEP_DISPLAY
trap wine_env_stop EXIT
wine_env_start "$build/wine-bless"
ZARVEL_BLESS=1 ctest --test-dir "$build/windows" -R '^ui_tests$' --output-on-failure
git -C "$root" status --short -- tests/wine/golden
