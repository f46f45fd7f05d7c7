#!/bin/bash
# Builds the Windows Installer package of a staged release (Zarvel-Update.exe and its assets
# folder) with wixl from assets/Zarvel-Update.wxs: a per-machine install into
# Program Files\<product name>, a Start-menu shortcut, and an upgrade of any older version that
# keeps the program's log and update history.
#
#   make-msi.sh STAGE_DIR OUT.msi PRODUCT_NAME MANUFACTURER VERSION
#
# scripts/release.sh calls it with the build's product facts; VERSION is major.minor.patch.
set -euo pipefail

# Windows Installer finds the installed versions of the product by this code: never change it.
readonly kUpgradeCode="C4574AE3-AFA9-478D-BFB4-450B003A6EF7"

die() {
    echo "make-msi.sh: $*" >&2
    exit 1
}

[ $# -eq 5 ] || die "usage: make-msi.sh STAGE_DIR OUT.msi PRODUCT_NAME MANUFACTURER VERSION"
stage="$1"
out="$2"
name="$3"
manufacturer="$4"
version="$5"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

[ -f "$stage/Zarvel-Update.exe" ] && [ -d "$stage/assets" ] || die "$stage holds no Zarvel-Update.exe with its assets folder"
# Windows Installer compares major (< 256), minor (< 256) and build (< 65536).
[[ "$version" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt 256 ] &&
    [ "${BASH_REMATCH[2]}" -lt 256 ] && [ "${BASH_REMATCH[3]}" -lt 65536 ] ||
    die "version '$version' is not major.minor.patch within 255.255.65535"

file_version="$(wrestool -x --raw --type=16 "$stage/Zarvel-Update.exe" |
    python3 "$root/scripts/read-version-resource.py" | sed -n 's/^FileVersion (fixed) *//p')" &&
    [ -n "$file_version" ] || die "$stage/Zarvel-Update.exe carries no file version"

# One product code per version: a rebuild is the same product, a new version upgrades the old.
product_code="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$kUpgradeCode" "$version")"
# wixl looks for sources relative to the .wxs file only.
stage_from_wxs="$(realpath --relative-to="$root/assets" "$stage")"

partial="$out.partial"
rm -f "$partial"
trap 'rm -f "$partial"' EXIT
wixl --arch x64 --output "$partial" \
    -D UpgradeCode="$kUpgradeCode" -D ProductCode="$product_code" -D ProductName="$name" \
    -D Manufacturer="$manufacturer" -D Version="$version" -D Stage="$stage_from_wxs" \
    "$root/assets/Zarvel-Update.wxs"
# The program writes its logs and crash dumps into its folder; wixl cannot name a file to
# remove, so they are added here. The update history, a service centre's record of its work,
# stays after an uninstall (and with it the folder, once there is one).
remove_file="INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES"
msibuild "$partial" -q "$remove_file ('RemoveProgramLog', 'Program', 'Zarvel-Update.log', 'ZarvelUpdateFolder', 2)" \
    -q "$remove_file ('RemoveRotatedLog', 'Program', 'Zarvel-Update.1.log', 'ZarvelUpdateFolder', 2)" \
    -q "$remove_file ('RemoveCrashDumps', 'Program', 'Zarvel-Update-crash-*.dmp', 'ZarvelUpdateFolder', 2)" \
    -q "$remove_file ('RemoveCrashReport', 'Program', 'Zarvel-Update-crash-reported.txt', 'ZarvelUpdateFolder', 2)"
# wixl writes no file version, and the installed exe, kept until this one is in place, would win
# over an unversioned one; Windows hashes unversioned files only.
msibuild "$partial" -q "UPDATE \`File\` SET \`Version\` = '$file_version' WHERE \`File\` = 'ProgramExe'" \
    -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'ProgramExe'"
mv "$partial" "$out"
