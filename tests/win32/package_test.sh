#!/usr/bin/env bash
# The installer package under Wine: a silent install into a fresh prefix,
# the installed program scanning through the automation link, a signed
# package of a higher version upgrading it, an older one refused, and a
# silent removal that keeps what the user made.
# Usage: package_test.sh VERSION BIN_DIR SCENARIO_WORK WORK
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
version="$1" bin="$2" scenario_work="$3" work="$4"
# No menu entries in the Linux desktop for the package's shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# shellcheck source=app_e2e_lib.sh
source "$root/tests/win32/app_e2e_lib.sh"
template="$scenario_work/template"
[ -f "$template/.tavik-settled" ] || { echo "no scenario template at $template"; exit 1; }
case "$work/" in "$root/build/"*) ;; *) echo "work folder must lie under build/"; exit 2 ;; esac
rm -rf "$work"; mkdir -p "$work"
trap 'end_session; stop_display' EXIT

# The package as "make package" builds it, and a signed one a patch higher.
newer="$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<< "$version")"
old_msi="$work/TavikRegistryCleaner-$version-x64.msi" new_msi="$work/TavikRegistryCleaner-$newer-x64.msi"
"$root/packaging/build-msi.sh" --version "$version" --bin "$bin" --work "$work/old" --out "$old_msi" |
  grep -q '^unsigned package' && pass "without a certificate the package is unsigned" ||
  fail "no unsigned package $old_msi"
# A rebuild of the same version: another product code, the same version.
"$root/packaging/build-msi.sh" --version "$version" --bin "$bin" --work "$work/rebuilt" \
  --out "$work/rebuilt.msi" > /dev/null || fail "rebuilt package"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tavik Test/O=Tavik Software" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:t3st
SIGN_PFX="$work/test.pfx" SIGN_PASS=t3st "$root/packaging/build-msi.sh" --version "$newer" \
  --bin "$bin" --work "$work/new" --out "$new_msi" > /dev/null || fail "signed package build"
for file in "$new_msi" "$work/new/stage/"*.exe; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" > "$work/verify.txt" 2>&1 &&
    grep -q 'Message digest algorithm *: SHA256' "$work/verify.txt" ||
    fail "$(basename "$file") does not verify: $(tail -n 1 "$work/verify.txt")"
done
pass "the signed package and its programs verify (SHA-256)"

start_display 96
prefix="$work/prefix"; "$root/tools/copy-prefix.sh" "$template" "$prefix"; begin_session "$prefix"
cp "$old_msi" "$new_msi" "$work/rebuilt.msi" "$prefix/drive_c/"
dir="$prefix/drive_c/Program Files/Tavik Registry Cleaner"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
msiexec() { (cd "$prefix/drive_c" && timeout 300 "$WINE" msiexec "$@" > /dev/null 2>&1); }
timed() { local t=$EPOCHREALTIME s; "$@"; s=$?; awk "BEGIN { printf \"%.1f s\", $EPOCHREALTIME - $t }"; return $s; }
# The uninstall entries named Tavik Registry Cleaner: "KEY VERSION" lines.
entries() {
  "$WINE" reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY/ { key = $0 } $1 == "DisplayName" && /Tavik Registry Cleaner$/ { named[key] = 1 }
    $1 == "DisplayVersion" { ver[key] = $3 } END { for (k in named) print k, ver[k] }'
}
value() { "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = $2 = ""; sub(/^ +/, ""); print }'; }
shortcuts() { find "$prefix/drive_c" -path '*/Start Menu/Programs/Tavik Registry Cleaner.lnk'; }

took="$(timed msiexec /i "C:\\$(basename "$old_msi")" /qn)" || fail "silent install"; echo "install: $took"
for file in home.html help/Registry_Cleaner.chm; do [ -f "$dir/$file" ] || fail "not installed: $file"; done
for file in "Tavik Registry Cleaner.exe" tavik-scan.exe autofix-controller.exe; do
  strings -el "$dir/$file" | grep -A1 -xE 'FileVersion|ProductVersion|CompanyName|OriginalFilename' |
    grep -v -- -- | paste - - | sort | tr '\t\n' '=;' > "$work/info.txt"
  [ "$(cat "$work/info.txt")" = "CompanyName=Tavik Software;FileVersion=$version;OriginalFilename=$file;ProductVersion=$version;" ] ||
    fail "version resource of $file: $(cat "$work/info.txt")"
done
[ "$(ls "$dir" | wc -l)" = 5 ] || fail "installed folder holds more: $(ls "$dir")"
read -r key shown <<< "$(entries)"
[ "$(entries | wc -l)" = 1 ] && [ "$shown" = "$version" ] &&
  [ "$(value "$key" Publisher)" = "Tavik Software" ] &&
  [ "$(value "$key" InstallLocation)" = 'C:\Program Files\Tavik Registry Cleaner\' ] &&
  [ "$(value "$key" UninstallString)" = "MsiExec.exe /X${key##*\\}" ] &&
  pass "one uninstall entry, version $version, publisher, location and uninstall command" ||
  fail "uninstall entry: $(entries); publisher '$(value "$key" Publisher)'," \
       "location '$(value "$key" InstallLocation)', uninstall '$(value "$key" UninstallString)'"
icon="$("$WINE" reg query 'HKCR\Installer\Products' /s 2>/dev/null | tr -d '\r' | sed -n 's/^ *ProductIcon *REG_SZ *C:\\//p')"
[ -n "$icon" ] && [ -f "$prefix/drive_c/${icon//\\//}" ] || fail "no product icon ($icon)"
[ "$(shortcuts | wc -l)" = 1 ] && grep -aq 'Tavik Registry Cleaner\\Tavik Registry Cleaner.exe' "$(shortcuts)" &&
  pass "Start-menu shortcut to the installed program" || fail "shortcut: $(shortcuts)"

# The installed program, with an exclude list beside it, scans through the
# link: the template's rows less the excluded ones, nothing of its own.
excluded='HKEY_LOCAL_MACHINE\SOFTWARE\Policies'
{ printf '\xff\xfe'; printf '%s' "$excluded" | iconv -t UTF-16LE; } > "$dir/RCExclude.txt"
installed='C:\Program Files\Tavik Registry Cleaner' controller_out="$work/controller.txt"
mkdir -p "$prefix/drive_c/scan"
printf '%s\n' scan 'wait-for-status 120000' 'rows C:\scan\rows.tsv' exit |
  (cd "$prefix/drive_c/scan" && timeout 300 "$WINE" "$installed\autofix-controller.exe" \
     "$installed\Tavik Registry Cleaner.exe" auto hidden) > "$controller_out" 2>&1
awk -F'\t' '!($2 == "HKEY_LOCAL_MACHINE" && index(toupper($3), "SOFTWARE\\POLICIES") == 1)' \
  "$scenario_work/baseline.tsv" | sort > "$work/expected.tsv"
if tr -d '\r' < "$prefix/drive_c/scan/rows.tsv" | sort | diff - "$work/expected.tsv" > "$work/rows.diff"; then
  pass "the installed program scans through the link and reports nothing of its installation"
else
  fail "installed program's rows differ from the template's:"; cat "$work/rows.diff" "$controller_out"
fi

# What the user made: backups, an undo file and the settings key.
config="$prefix/drive_c/windows/system32/config"
undo="$prefix/drive_c/users/$(id -un)/AppData/Local/Tavik Software/Registry Cleaner/Undo"
mkdir -p "$undo" "$config"; echo saved > "$config/TavikRegCSoft.tvk"; echo 9/12/2026 > "$config/TavikBackupTime.tvk"
echo undo > "$undo/fix-20261209-120000.reg"
"$WINE" reg add 'HKLM\Software\Tavik Software\Registry Cleaner' /v CreateBackup /d 0 /f > /dev/null 2>&1

msiexec /i 'C:\rebuilt.msi' /qn || fail "a rebuild of the same version over it"
[ "$(entries | wc -l)" = 1 ] && [ "$(entries)" != "$key $version" ] &&
  pass "a rebuild of version $version replaces the installed one" || fail "rebuilt: $(entries)"
took="$(timed msiexec /i "C:\\$(basename "$new_msi")" /qn)" || fail "silent upgrade"; echo "upgrade: $took"
read -r key shown <<< "$(entries)"
[ "$(entries | wc -l)" = 1 ] && [ "$shown" = "$newer" ] && pass "after the upgrade one entry, version $newer" ||
  fail "entries after the upgrade: $(entries)"
osslsigncode verify -CAfile "$work/cert.pem" -in "$dir/tavik-scan.exe" > /dev/null 2>&1 ||
  fail "the upgrade did not replace the programs"
msiexec /i "C:\\$(basename "$old_msi")" /qn; status=$?
[ $status -ne 0 ] && [ "$(entries)" = "$key $newer" ] &&
  msiinfo export "$old_msi" LaunchCondition | grep -q 'A newer version of Tavik Registry Cleaner is already installed' &&
  pass "an older package is refused (code $status) with its message" || fail "downgrade: $status $(entries)"

took="$(timed msiexec /x "C:\\$(basename "$new_msi")" /qn)" || fail "silent removal"; echo "removal: $took"
[ "$(cd "$dir" 2>/dev/null && ls -A)" = RCExclude.txt ] || fail "left in the folder: $(ls -A "$dir")"
[ -z "$(entries)" ] && [ -z "$(shortcuts)" ] &&
  ! "$WINE" reg query 'HKCR\Installer\Products' /s 2>/dev/null | grep -q 'Tavik Registry Cleaner' &&
  pass "removal takes the files, the shortcut and the uninstall entry" ||
  fail "after removal: entries '$(entries)', shortcuts '$(shortcuts)'"
[ -f "$config/TavikRegCSoft.tvk" ] && [ -f "$config/TavikBackupTime.tvk" ] && [ -f "$undo/fix-20261209-120000.reg" ] &&
  [ "$(value 'HKLM\Software\Tavik Software\Registry Cleaner' CreateBackup)" = 0 ] &&
  pass "removal keeps the exclude list, the backups, the undo file and the settings" ||
  fail "removal took something the user made"

# Nothing the package did is left for a scan to find.
mkdir -p "$prefix/drive_c/tavik"; cp "$bin/tavik-scan.exe" "$prefix/drive_c/tavik/"
(cd "$prefix/drive_c/scan" && "$WINE" 'C:\tavik\tavik-scan.exe') 2>/dev/null | tr -d '\r' | sed '$d' | sort |
  diff - <(sort "$scenario_work/baseline.tsv") > "$work/after.diff" &&
  pass "a scan after the removal finds only the template's rows" || { fail "scan after removal:"; cat "$work/after.diff"; }

[ $failures -eq 0 ] && echo "all package checks passed"
[ $failures -eq 0 ]
