#!/bin/bash
# Builds the release into dist/ (or ZARVEL_DIST_DIR), replacing the previous one there:
#   Zarvel-Update-<version>-win64.zip   the exe, its assets folder and a Russian/English README.txt
#   Zarvel-Update-<version>-win64.msi   the installer (scripts/make-msi.sh)
#   SHA256SUMS                          the checksums of both
# With ZARVEL_SIGN_PFX (a PKCS#12 code-signing certificate) and ZARVEL_SIGN_PASSWORD the exe and
# the MSI carry an Authenticode signature, time-stamped when ZARVEL_SIGN_TIMESTAMP_URL names an
# RFC 3161 server; without a certificate the release is unsigned and says so. Everything is made
# in the build folder and moved to dist/ only once it is complete. Product name, maker and
# version are the CMake project's.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
mkdir -p "${ZARVEL_BUILD_DIR:-$root/build}/release"
build="$(cd "${ZARVEL_BUILD_DIR:-$root/build}/release" && pwd)"
dist="${ZARVEL_DIST_DIR:-$root/dist}"

die() {
    echo "release.sh: $*" >&2
    exit 1
}

"$root/scripts/install-deps.sh"

# The certificate is checked before anything is built, so a bad one costs no time.
pfx="${ZARVEL_SIGN_PFX:-}"
secrets=""
trap '[ -z "$secrets" ] || rm -rf "$secrets"' EXIT
if [ -n "$pfx" ]; then
    [ -f "$pfx" ] && [ -r "$pfx" ] || die "cannot read the certificate file ZARVEL_SIGN_PFX=$pfx"
    [ -n "${ZARVEL_SIGN_PASSWORD+set}" ] ||
        die "ZARVEL_SIGN_PASSWORD is not set (set it empty for a certificate without a password)"
    # OpenSSL 3 opens certificates exported with old ciphers only in its legacy mode.
    openssl pkcs12 -in "$pfx" -passin env:ZARVEL_SIGN_PASSWORD -noout >/dev/null 2>&1 ||
        openssl pkcs12 -legacy -in "$pfx" -passin env:ZARVEL_SIGN_PASSWORD -noout >/dev/null 2>&1 ||
        die "cannot open the certificate $pfx: wrong ZARVEL_SIGN_PASSWORD, or not a PKCS#12 (.pfx) file"
    # osslsigncode reads the password from a file, or from its command line, which ps shows.
    secrets="$(mktemp -d)"
    (umask 077 && printf '%s' "$ZARVEL_SIGN_PASSWORD" >"$secrets/password")
    echo "Signing with $pfx${ZARVEL_SIGN_TIMESTAMP_URL:+, time stamps from $ZARVEL_SIGN_TIMESTAMP_URL}."
else
    echo "No certificate (ZARVEL_SIGN_PFX is not set): the release will be unsigned."
fi
timestamp=()
[ -z "${ZARVEL_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$ZARVEL_SIGN_TIMESTAMP_URL")

# Signs FILE in place (SHA-256); -n is the name Windows shows when the MSI asks to elevate.
sign() {
    local file="$1"
    shift
    osslsigncode sign -pkcs12 "$pfx" -readpass "$secrets/password" -h sha256 -n "$product" \
        "${timestamp[@]}" "$@" -in "$file" -out "$file.signed" >"$build/sign.log" 2>&1 ||
        { cat "$build/sign.log" >&2; die "signing $(basename "$file") failed; $dist is unchanged"; }
    mv "$file.signed" "$file"
}

configure_windows "$build" Release -DZARVEL_CRASH_TRIGGER=OFF
cmake --build "$build" -j "$(nproc)" --target Zarvel-Update

header="$build/generated/zarvel_version.h"
fact() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$header"; }
version="$(fact ZARVEL_VERSION_TEXT)"
product="$(fact ZARVEL_PRODUCT_NAME)"
manufacturer="$(fact ZARVEL_MANUFACTURER)"
[ -n "$version" ] && [ -n "$product" ] && [ -n "$manufacturer" ] || die "no product name, maker or version in $header"
name="Zarvel-Update-$version-win64"
stage="$build/stage/$name"
out="$build/out"

rm -rf "$build/stage" "$out"
mkdir -p "$stage/assets" "$out"
x86_64-w64-mingw32-strip -o "$stage/Zarvel-Update.exe" "$build/bin/Zarvel-Update.exe"
[ -z "$pfx" ] || sign "$stage/Zarvel-Update.exe"
cp "$root/assets/logo.png" "$root/assets/ksaron4_ui.png" "$root/assets/logo@2x.png" "$root/assets/ksaron4_ui@2x.png" \
    "$root/assets/icon.png" "$stage/assets/"
# UTF-8 with a byte-order mark and CR LF, so that every Windows editor shows the Russian text.
{ printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/scripts/release-readme.txt"; } \
    >"$stage/README.txt"

(cd "$build/stage" && TZ=UTC zip -q -X -r "$out/$name.zip" "$name")
"$root/scripts/make-msi.sh" "$stage" "$out/$name.msi" "$product" "$manufacturer" "$version"
# The extended signature also covers the package's stream metadata, which Windows checks when present.
[ -z "$pfx" ] || sign "$out/$name.msi" -add-msi-dse
(cd "$out" && sha256sum "$name.zip" "$name.msi" >SHA256SUMS)

mkdir -p "$dist"
rm -f "$dist"/Zarvel-Update-*-win64.zip "$dist"/Zarvel-Update-*-win64.msi "$dist/SHA256SUMS"
mv "$out/$name.zip" "$out/$name.msi" "$out/SHA256SUMS" "$dist/"

echo "Release in $dist:"
for file in "$name.zip" "$name.msi" SHA256SUMS; do
    printf '  %-36s %9s bytes\n' "$file" "$(stat -c %s "$dist/$file")"
done
echo
python3 -m zipfile -l "$dist/$name.zip"
echo
echo "Version resource of $name/Zarvel-Update.exe:"
wrestool -x --raw --type=16 "$stage/Zarvel-Update.exe" | python3 "$root/scripts/read-version-resource.py"
echo
if [ -n "$pfx" ]; then
    stamp="no time stamp (ZARVEL_SIGN_TIMESTAMP_URL is not set)"
    [ -z "${ZARVEL_SIGN_TIMESTAMP_URL:-}" ] || stamp="time-stamped by $ZARVEL_SIGN_TIMESTAMP_URL"
    echo "Signed (Authenticode, SHA-256): Zarvel-Update.exe and $name.msi, with $pfx; $stamp."
else
    echo "UNSIGNED: ZARVEL_SIGN_PFX is not set, so neither Zarvel-Update.exe nor $name.msi carries a signature."
fi
