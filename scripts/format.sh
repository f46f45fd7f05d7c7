#!/bin/bash
# Lays out the tracked C++ sources as .clang-format says (clang-format 14, installed by the set-up).
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; lists every place that differs and fails if any does
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$root"
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
[ "${#files[@]}" -gt 0 ] || { echo "no tracked C++ files under $root (not a git checkout?)" >&2; exit 1; }
case "${1:-}" in
"") clang-format -i "${files[@]}" ;;
--check) clang-format --dry-run -Werror "${files[@]}" ;;
*) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac
