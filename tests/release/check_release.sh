#!/bin/bash
# The release as shipped and installed: scripts/release.sh signed with a throw-away certificate, a bad certificate
# or password refused leaving dist/ as it was, the signatures, checksums, the exe's version resource and the absence
# of the test-only crash trigger checked; then under Wine the MSI installed, the installed program finding the
# simulator's station, a newer MSI upgrading it (its log and update history kept) and the uninstall (the history
# kept). Ends with "N passed, M failed".
#   check_release.sh WORK_DIR    (inside scripts/test.sh's Wine set-up, ZARVEL_STATION_SIM set)
set -uo pipefail

readonly kIdent="ZARVEL DS-4 release"  # the BGV line the installed program must log
readonly kDeadlineS=60
readonly kHistory="12:00:00  a technician's line from before the upgrade"
readonly kUpdates="Дата и время;COM-порт;…;Сообщение"  # an update history from before the upgrade
# What the program leaves in its folder besides its log and history; the uninstall takes it away. Its
# crash dumps go too, named by a wildcard, which Wine's msi does not expand (Windows Installer does).
readonly kLeftovers=(Zarvel-Update.1.log Zarvel-Update-crash-reported.txt)

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
folder="${WINEPREFIX:-}/drive_c/Program Files/Zarvel Update"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# With the simulator on ZARVEL_SIM_PORT (with_station.sh): start the installed program as the
# Start-menu shortcut does, wait for its BGV line, close its window, expect exit code 0.
if [ "${1:-}" = "--run-installed" ]; then
    wine 'C:\Program Files\Zarvel Update\Zarvel-Update.exe' >/dev/null 2>&1 </dev/null &
    program=$!
    poll_until "$kDeadlineS" grep -qsF "COM$ZARVEL_SIM_PORT BGV -> $kIdent" "$folder/Zarvel-Update.log" ||
        { echo "no BGV line in the installed program's log:"; cat "$folder/Zarvel-Update.log"; kill "$program"; exit 1; }
    # Without /f taskkill sends WM_CLOSE, as the window's close box does.
    wine taskkill /im Zarvel-Update.exe >/dev/null 2>&1
    poll_until "$kDeadlineS" eval "! kill -0 $program 2>/dev/null" ||
        { echo "the program did not end"; kill "$program"; exit 1; }
    wait "$program"
    exit
fi

[ $# -eq 1 ] && [ -n "${WINEPREFIX:-}" ] && [ -x "${ZARVEL_STATION_SIM:-}" ] ||
    { echo "usage: check_release.sh WORK_DIR, inside scripts/test.sh's Wine set-up" >&2; exit 2; }
work="$1" dist="$1/dist" passed=0 failed=0
rm -rf "$work" && mkdir -p "$work/unzipped" "$dist"

check() {
    "${@:2}" >"$work/check.out" 2>&1 && { echo "ok    $1"; passed=$((passed + 1)); } ||
        { echo "FAIL  $1"; tail -n 30 "$work/check.out" | sed 's/^/      /'; failed=$((failed + 1)); }
}

release() { env ZARVEL_DIST_DIR="$dist" "$@" "$root/scripts/release.sh" >"$work/release.log" 2>&1; }
# The run stops with MESSAGE and dist/ still holds only the previous release.
refused() {
    ! release "${@:2}" && grep -qF "$1" "$work/release.log" && [ "$(ls "$dist")" = SHA256SUMS ] &&
        grep -qx previous "$dist/SHA256SUMS" || { cat "$work/release.log"; return 1; }
}
verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" | grep -x "Signature verification: ok"; }
msi_property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
msiexec() {
    wine msiexec "$1" "Z:${2//\//\\}" /qn /l*v "Z:${work//\//\\}\\msiexec.log" >/dev/null 2>&1 ||
        { echo "msiexec $1 failed with $?, see $work/msiexec.log"; return 1; }
}
registered() { wine reg query "$uninstall_key\\$(msi_property "$1" ProductCode)" >/dev/null 2>&1; }
installed() { [ -f "$folder/Zarvel-Update.exe" ] && [ "$(LC_ALL=C ls "$folder/assets")" = "$(printf 'icon.png\nksaron4_ui.png\nksaron4_ui@2x.png\nlogo.png\nlogo@2x.png')" ]; }
# Wine puts the all-users shortcut into the user's Start menu, Windows into ProgramData's.
shortcut() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Zarvel Update.lnk' | grep -q .; }

password="throw-away $RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zarvel Update test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
ZARVEL_TEST_PASSWORD="$password" openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
    -passout env:ZARVEL_TEST_PASSWORD -out "$work/sign.pfx"
good=(ZARVEL_SIGN_PFX="$work/sign.pfx" ZARVEL_SIGN_PASSWORD="$password") # a bad setting after these wins

signed_release() { release "${good[@]}" || { cat "$work/release.log"; return 1; }; }
sums_match() { (cd "$dist" && sha256sum -c SHA256SUMS) && [ "$(wc -l <"$dist/SHA256SUMS")" -eq 2 ]; }
same_as_exe() { grep -qxF "  $(printf '%-22s' "$1")$(msi_property "$msi" "$2")" <<<"$resource"; }
facts_match() { same_as_exe ProductName ProductName && same_as_exe CompanyName Manufacturer && same_as_exe ProductVersion ProductVersion; }
install() { msiexec /i "$msi" && installed && shortcut && registered "$msi"; }
upgrade() {
    local version
    version="$(msi_property "$msi" ProductVersion)" && printf '%s\r\n' "$kHistory" >"$folder/Zarvel-Update.log" &&
        printf '%s\r\n' "$kUpdates" >"$folder/Zarvel-Update-history.csv" &&
        "$root/scripts/make-msi.sh" "$stage" "$work/newer.msi" "$(msi_property "$msi" ProductName)" \
            "$(msi_property "$msi" Manufacturer)" "${version%.*}.$((${version##*.} + 1))" &&
        msiexec /i "$work/newer.msi" && installed && shortcut && registered "$work/newer.msi" && ! registered "$msi" &&
        printf '%s\r\n' "$kHistory" | cmp - "$folder/Zarvel-Update.log" &&
        printf '%s\r\n' "$kUpdates" | cmp - "$folder/Zarvel-Update-history.csv"
}
uninstall() {
    local file
    for file in "${kLeftovers[@]}"; do echo "left by the program" >"$folder/$file"; done
    msiexec /x "$work/newer.msi" && [ "$(ls "$folder")" = Zarvel-Update-history.csv ] && ! shortcut &&
        ! registered "$work/newer.msi" || { ls -la "$folder"; return 1; }
}
# The test build's program carries the crash trigger, so the search would find one that is there.
no_crash_trigger() {
    ! grep -qaF ZARVEL_TEST_CRASH "$stage/Zarvel-Update.exe" &&
        grep -qaF ZARVEL_TEST_CRASH "${ZARVEL_BUILD_DIR:-$root/build}/windows/bin/Zarvel-Update.exe"
}

echo previous >"$dist/SHA256SUMS"
check "an unreadable certificate is refused" refused "cannot read the certificate" "${good[@]}" ZARVEL_SIGN_PFX="$work/missing.pfx"
check "a wrong password is refused" refused "wrong ZARVEL_SIGN_PASSWORD" "${good[@]}" ZARVEL_SIGN_PASSWORD="not $password"
check "an unreachable time-stamp server stops the signing" refused "signing Zarvel-Update.exe failed" \
    "${good[@]}" ZARVEL_SIGN_TIMESTAMP_URL=http://127.0.0.1:1/
check "a signed release is made" signed_release
zip="$(echo "$dist"/Zarvel-Update-*-win64.zip)"
msi="${zip%.zip}.msi"
check "SHA256SUMS lists the zip and the MSI" sums_match
python3 -m zipfile -e "$zip" "$work/unzipped"
stage="$(echo "$work"/unzipped/*)"
resource="$(wrestool -x --raw --type=16 "$stage/Zarvel-Update.exe" | python3 "$root/scripts/read-version-resource.py")"
check "the zip's exe carries a valid signature" verified "$stage/Zarvel-Update.exe"
check "the MSI carries a valid signature" verified "$msi"
check "the exe's version resource and the MSI name the same product, maker and version" facts_match
check "the shipped exe holds no test-only crash trigger" no_crash_trigger

check "msiexec /i installs the exe and the assets into Program Files" install
check "the installed exe carries the signature" verified "$folder/Zarvel-Update.exe"
check "a newer MSI upgrades the installed one and keeps its log and update history" upgrade
check "the installed program finds the simulator's station and closes" \
    bash "$root/tests/wine/with_station.sh" --ident "$kIdent" -- bash "$0" --run-installed
check "msiexec /x removes the program, its logs and shortcut, and keeps the update history" uninstall

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
