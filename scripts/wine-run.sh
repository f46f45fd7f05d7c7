#!/bin/bash
# Runs one Windows program under Wine, in the test run's private prefix (see wine_env_start in lib.sh).
# Used by CTest as the emulator of the cross build.
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: WINEPREFIX is not set; run the tests through scripts/test.sh" >&2
    exit 2
fi
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
wine_quiet
exec wine "$@"
