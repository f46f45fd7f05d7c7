#!/bin/bash
# The exe carries the version resource the release shows: the CMake project's version, the
# product name, the company and a description.
#   check_version.sh PROGRAM.exe VERSION
set -euo pipefail

program="$1"
version="$2"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

shown=$(wrestool -x --raw --type=16 "$program" | python3 "$root/scripts/read-version-resource.py")
echo "$shown"
expected=(
    "FileVersion (fixed)     $version.0"
    "ProductVersion (fixed)  $version.0"
    "  CompanyName           Zarvel"
    "  FileDescription       Zarvel Update: обновление прошивки Zarvel Ксарон 4"
    "  FileVersion           $version"
    "  ProductName           Zarvel Update"
    "  ProductVersion        $version"
)
status=0
for line in "${expected[@]}"; do
    if ! grep -qxF -- "$line" <<<"$shown"; then
        echo "missing: $line" >&2
        status=1
    fi
done
exit $status
