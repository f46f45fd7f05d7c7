#!/bin/bash
# Builds the release: dist/Zarvel-Update-<version>-win64.zip with the exe, its assets folder
# and a short Russian/English readme; lists the archive and reads the exe's version resource
# back. The version is the CMake project's.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZARVEL_BUILD_DIR:-$root/build}/release"
dist="$root/dist"

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target Zarvel-Update

version="$(sed -n 's/^#define ZARVEL_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/zarvel_version.h")"
[ -n "$version" ] || { echo "no version in $build/generated/zarvel_version.h" >&2; exit 1; }
name="Zarvel-Update-$version-win64"
stage="$build/stage/$name"

rm -rf "$build/stage"
mkdir -p "$stage/assets" "$dist"
x86_64-w64-mingw32-strip -o "$stage/Zarvel-Update.exe" "$build/bin/Zarvel-Update.exe"
cp "$root/assets/logo.png" "$root/assets/ksaron4_ui.png" "$root/assets/icon.png" "$stage/assets/"
# UTF-8 with a byte-order mark and CR LF, so that every Windows editor shows the Russian text.
{ printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/scripts/release-readme.txt"; } \
    >"$stage/README.txt"

zip_path="$dist/$name.zip"
rm -f "$zip_path"
(cd "$build/stage" && TZ=UTC zip -q -X -r "$zip_path" "$name")

echo "Release: $zip_path"
python3 -m zipfile -l "$zip_path"
echo
echo "Version resource of $name/Zarvel-Update.exe:"
wrestool -x --raw --type=16 "$stage/Zarvel-Update.exe" | python3 "$root/scripts/read-version-resource.py"
