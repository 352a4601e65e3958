#!/usr/bin/env bash
# The installer package under Wine, each scenario in a throwaway prefix copied
# (with hard links) from the build's template prefix:
#   package_test.sh SCENARIO WINE_RUN TEMPLATE_PREFIX LIBRARY PROGRAM HOLDER MESSAGES
# SCENARIO: per_user, all_users, upgrades or registry (the package's registry
# rows against what the library itself registers). LIBRARY and PROGRAM are the
# built Cartscope.dll and "Cartscope CMD.exe" the packages are made from;
# HOLDER is hold_library.exe, MESSAGES install_messages.exe.
#
# Exit codes: a Unix process keeps the low 8 bits of a Windows exit code, so
# 1603 (ERROR_INSTALL_FAILURE) arrives as 67 and 3010 (reboot required) as 194.
set -euo pipefail

scenario=$1 run=$2 template=$3 library=$4 program=$5 holder=$6 messages=$7
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../cmake/wine-loader.sh
. "$(dirname "$run")/wine-loader.sh"
make_msi=$here/../make_msi.sh
rows=$here/registry_rows.py
clsid='{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}'
handler='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.nds'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall'
readonly OK=0 FAILED=$((1603 % 256)) REBOOT=$((3010 % 256))

fail() {
  echo "FAIL ($scenario): $*" >&2
  exit 1
}
note() { echo "-- $*"; }

[ -f "$program" ] || fail "no program at $program: build the release-win32 preset first (scripts/test.sh builds every preset before testing)"
[ -f "$library" ] || fail "no library at $library"

work=$(mktemp -d "${TMPDIR:-/tmp}/cartscope-package.XXXXXX")
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${CARTSCOPE_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# The template is made (once per build folder) by the project's Wine runner.
"$run" "$template" cmd /c exit 0 </dev/null >/dev/null 2>&1 || fail "no Wine prefix at $template"
cp -al "$template" "$work/prefix"
for file in "$template"/*.reg; do
  rm "$work/prefix/$(basename "$file")"
  cp "$file" "$work/prefix/"
done
export WINEPREFIX=$work/prefix LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine's server and services are started apart, so that they never hold the
# test's output open.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
timeout --kill-after=10 120 "$wine_loader" wineboot </dev/null >/dev/null 2>&1 || true

w() { timeout --kill-after=10 120 "$wine_loader" "$@"; }
windows_path() { w winepath -w "$1" | tr -d '\r'; }
unix_path() { w winepath -u "$1" | tr -d '\r'; }
folder_of() { unix_path "$(w cmd /c echo "%$1%" | tr -d '\r')"; }

# reg query KEY's default (or VALUE) in the 64-bit view; empty when missing.
value_of() {
  local name=${2:-}
  if [ -z "$name" ]; then
    w reg query "$1" /ve /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p' || true
  else
    w reg query "$1" /v "$name" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$name *REG_[A-Z_]* *//p" || true
  fi
}
key_exists() { w reg query "$1" /reg:64 >/dev/null 2>&1; }

package() {  # package VERSION NAME
  "$make_msi" --library "$library" --program "$program" --version "$1" -o "$work/$2" >/dev/null || fail "make_msi.sh $1 failed"
}
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }

# msiexec with a log; the exit code (mod 256) in $status.
msiexec_run() {  # msiexec_run LOGNAME ARGS...
  local log=$1
  shift
  status=0
  w msiexec "$@" /qn /l*v "$(windows_path "$work")\\$log.log" </dev/null >/dev/null 2>&1 || status=$?
}
install() { msiexec_run "$1" /i "$(windows_path "$work/$2")" "${@:3}"; }
remove() { msiexec_run "$1" /x "$(windows_path "$work/$2")" "${@:3}"; }
expect_status() {  # expect_status WHAT CODE...
  local what=$1 code
  shift
  for code in "$@"; do [ "$status" -eq "$code" ] && return 0; done
  fail "$what: msiexec exited with $status (mod 256), expected $* (log: $(tail -n 5 "$work"/*.log 2>/dev/null | tr -d '\r'))"
}

# The installed-programs entry of a product: Windows keeps a per-user
# product's entry under HKEY_CURRENT_USER, Wine 8.0 under HKEY_LOCAL_MACHINE
# for every scope; either root is accepted.
arp_value() {  # arp_value PRODUCT_CODE NAME
  local root found
  for root in HKCU HKLM; do
    found=$(value_of "$root\\$uninstall_key\\$1" "$2")
    [ -n "$found" ] && { echo "$found"; return; }
  done
}
expect_arp_entry() {  # expect_arp_entry PRODUCT_CODE VERSION
  [ "$(arp_value "$1" DisplayName)" = Cartscope ] || fail "no installed-programs entry named Cartscope for $1"
  [ "$(arp_value "$1" Publisher)" = Velmora ] || fail "the entry's publisher is not Velmora"
  [ "$(arp_value "$1" DisplayVersion)" = "$2" ] || fail "the entry's version is not $2"
}
expect_no_arp_entry() {
  [ -z "$(arp_value "$1" DisplayName)" ] || fail "installed-programs entry $1 left"
}
# How many installed-programs entries are named Cartscope.
arp_count() {
  local root
  for root in HKCU HKLM; do
    w reg query "$root\\$uninstall_key" /s /reg:64 2>/dev/null | tr -d '\r' | grep -cE '^ *DisplayName +REG_SZ +Cartscope$' || true
  done | awk '{ n += $1 } END { print n + 0 }'
}

# The user's things that an uninstallation keeps: settings, the release
# database, and an autostart entry that starts another program.
local_app_data=$(folder_of LOCALAPPDATA)
app_data=$(folder_of APPDATA)
start_menu=$app_data/Microsoft/Windows/Start\ Menu/Programs
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
foreign_autostart='"C:\Other\Cartscope CMD.exe" /command:auto_update'
user_state() {
  w reg add 'HKCU\SOFTWARE\Velmora\Cartscope' /v rename_pattern /d '%T' /f >/dev/null
  mkdir -p "$app_data/Cartscope"
  echo database >"$app_data/Cartscope/nds-rom.dat"
}
expect_user_state_kept() {
  [ "$(value_of 'HKCU\SOFTWARE\Velmora\Cartscope' rename_pattern)" = '%T' ] || fail "the user's settings went"
  [ -f "$app_data/Cartscope/nds-rom.dat" ] || fail "the user's database went"
}

# Class entries of one classes root (HKCU\Software\Classes or HKLM\...).
expect_classes() {  # expect_classes ROOT LIBRARY_WINDOWS_PATH
  [ "$(value_of "$1\\CLSID\\$clsid\\InprocServer32")" = "$2" ] || fail "$1: InprocServer32 does not name $2"
  [ "$(value_of "$1\\.nds\\ShellEx\\IconHandler")" = "$clsid" ] || fail "$1: no icon handler"
  [ "$(value_of "$1\\.nds")" = nds_auto_file ] || fail "$1: .nds has no file type"
  [ "$(value_of "$1\\TypeLib\\{8B2F6D40-3C17-4E95-A6D2-0F4C9B71E358}\\1.0\\0\\win64")" = "$2" ] || fail "$1: no type library"
}
expect_no_classes() {  # expect_no_classes ROOT
  ! key_exists "$1\\CLSID\\$clsid" || fail "$1: class left"
  ! key_exists "$1\\.nds\\ShellEx\\IconHandler" || fail "$1: icon handler left"
  ! key_exists "$1\\TypeLib\\{8B2F6D40-3C17-4E95-A6D2-0F4C9B71E358}" || fail "$1: type library left"
}
# What unregistration keeps, uninstallation keeps: the keep-mode values. Their
# keys without values are not checked: Wine 8.0's msi, having deleted a key,
# deletes each parent that is left empty (CLSID, .nds\ShellEx, TypeLib of a
# per-user installation go that way), which unregistration never does.
expect_kept_classes() {  # expect_kept_classes ROOT
  [ "$(value_of "$1\\.nds")" = nds_auto_file ] || fail "$1: .nds lost its file type"
  [ "$(value_of "$1\\.nds\\DefaultIcon")" = '%1' ] || fail "$1: .nds lost its icon entry"
}

scenario_per_user() {
  package 1.2.0.0 Cartscope-1.2.0.0.msi
  local code folder dll
  code=$(product_code "$work/Cartscope-1.2.0.0.msi")
  folder=$local_app_data/Programs/Cartscope
  user_state
  w reg add "$run_key" /v Cartscope /d "$foreign_autostart" /f >/dev/null

  # An x64 package that asks for no elevation (word count: 2 compressed +
  # 8 elevated privileges not required), and no scope of its own (ALLUSERS
  # unset: per user unless the command line says ALLUSERS=1).
  msiinfo suminfo "$work/Cartscope-1.2.0.0.msi" | tr -d '\r' >"$work/suminfo"
  grep -q '^Template: x64;1033$' "$work/suminfo" || fail "not an x64 package: $(grep Template "$work/suminfo")"
  local words
  words=$(sed -n 's/^Source: \([0-9]*\).*/\1/p' "$work/suminfo")
  [ -n "$words" ] && [ $((words & 8)) -eq 8 ] || fail "the package asks for elevation (word count ${words:-missing})"
  ! msiinfo export "$work/Cartscope-1.2.0.0.msi" Property | grep -q '^ALLUSERS' || fail "the package sets ALLUSERS"

  install install Cartscope-1.2.0.0.msi
  expect_status "per-user installation" $OK
  [ -f "$folder/Cartscope.dll" ] && [ -f "$folder/Cartscope CMD.exe" ] || fail "files not in $folder"
  [ -f "$start_menu/Cartscope Settings.lnk" ] || fail "no Start-menu shortcut"
  strings -el "$start_menu/Cartscope Settings.lnk" | grep -q -- '/command:settings' || fail "the shortcut does not open the settings"
  dll=$(windows_path "$folder/Cartscope.dll")
  expect_classes 'HKCU\Software\Classes' "$dll"
  ! key_exists 'HKLM\Software\Classes\CLSID\'"$clsid" || fail "per-user installation wrote the machine's classes"
  ! key_exists "$handler" || fail "per-user installation wrote the property handler"
  [ ! -e "$folder/Cartscope.propdesc" ] || fail "per-user installation wrote a property schema"
  expect_arp_entry "$code" 1.2.0.0
  [ "$(arp_value "$code" InstallLocation)" = "$(windows_path "$folder")\\" ] ||
    fail "the entry's install location is $(arp_value "$code" InstallLocation)"

  remove uninstall Cartscope-1.2.0.0.msi
  expect_status "per-user uninstallation" $OK
  [ ! -e "$folder" ] || fail "$folder left: $(ls "$folder")"
  [ ! -e "$start_menu/Cartscope Settings.lnk" ] || fail "shortcut left"
  expect_no_classes 'HKCU\Software\Classes'
  expect_kept_classes 'HKCU\Software\Classes'
  expect_no_arp_entry "$code"
  expect_user_state_kept
  [ "$(value_of "$run_key" Cartscope)" = "$foreign_autostart" ] || fail "another program's autostart entry went"

  # The program's own autostart entry goes with it.
  install install-again Cartscope-1.2.0.0.msi
  expect_status "second per-user installation" $OK
  w reg add "$run_key" /v Cartscope /d "\"$(windows_path "$folder/Cartscope CMD.exe")\" /command:auto_update" /f >/dev/null
  remove uninstall-again Cartscope-1.2.0.0.msi
  expect_status "second per-user uninstallation" $OK
  [ -z "$(value_of "$run_key" Cartscope)" ] || fail "the program's autostart entry was left"
}

scenario_all_users() {
  package 1.2.0.0 Cartscope-1.2.0.0.msi
  local code folder dll pending
  code=$(product_code "$work/Cartscope-1.2.0.0.msi")
  folder=$(unix_path 'C:\Program Files\Cartscope')
  user_state

  install install Cartscope-1.2.0.0.msi ALLUSERS=1
  expect_status "installation for all users" $OK
  [ -f "$folder/Cartscope.dll" ] && [ -f "$folder/Cartscope CMD.exe" ] || fail "files not in $folder"
  [ -s "$folder/Cartscope.propdesc" ] || fail "no property schema beside the library"
  dll=$(windows_path "$folder/Cartscope.dll")
  expect_classes 'HKLM\Software\Classes' "$dll"
  ! key_exists 'HKCU\Software\Classes\CLSID\'"$clsid" || fail "installation for all users wrote the user's classes"
  [ "$(value_of "$handler")" = "$clsid" ] || fail "no property handler"
  # Windows puts an all-users shortcut into the common Start menu; Wine 8.0's
  # msi gives ProgramMenuFolder the user's Start menu in both scopes.
  [ -f "$start_menu/Cartscope Settings.lnk" ] || [ -f "$(folder_of ProgramData)/Microsoft/Windows/Start Menu/Programs/Cartscope Settings.lnk" ] ||
    fail "no Start-menu shortcut"
  expect_arp_entry "$code" 1.2.0.0

  # The Explorer keeps the library loaded while it is uninstalled.
  timeout --kill-after=10 300 "$wine_loader" "$holder" "$dll" "$(windows_path "$work")\\held" "$(windows_path "$work")\\release" \
    </dev/null >"$work/holder.out" 2>&1 &
  local holder_pid=$!
  local tries=0
  until [ -f "$work/held" ]; do
    kill -0 $holder_pid 2>/dev/null || fail "the library could not be held: $(cat "$work/holder.out")"
    tries=$((tries + 1))
    [ $tries -lt 600 ] || fail "the library holder did not start"
    sleep 0.1
  done
  remove uninstall Cartscope-1.2.0.0.msi ALLUSERS=1
  local removed_status=$status
  touch "$work/release"
  wait $holder_pid || true
  # Windows cannot delete the loaded library: it marks it for deletion at the
  # next restart (PendingFileRenameOperations) and exits with 3010. Wine 8.0's
  # msi exits with 0, leaves the file where it is and marks nothing.
  expect_status "uninstallation with the library loaded" $OK $REBOOT
  pending=$(w reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /reg:64 2>/dev/null |
    tr -d '\r' | grep -i 'Cartscope.dll' || true)
  if [ -e "$folder/Cartscope.dll" ]; then
    if [ -n "$pending" ]; then
      note "the loaded library is removed at the next restart (exit $removed_status)"
    else
      note "Wine: the loaded library was left in place, nothing marked for the next restart (exit $removed_status)"
    fi
  else
    note "the loaded library was removed at once (exit $removed_status)"
  fi
  [ ! -e "$folder/Cartscope CMD.exe" ] || fail "program left"
  [ ! -e "$folder/Cartscope.propdesc" ] || fail "property schema left"
  expect_no_classes 'HKLM\Software\Classes'
  expect_kept_classes 'HKLM\Software\Classes'
  ! key_exists "$handler" || fail "property handler left"
  expect_no_arp_entry "$code"
  expect_user_state_kept
}

scenario_upgrades() {
  package 1.1.0.0 Cartscope-1.1.0.0.msi
  package 1.2.0.0 Cartscope-1.2.0.0.msi
  package 1.2.0.0 Cartscope-1.2.0.0-rebuilt.msi
  local old new rebuilt folder
  old=$(product_code "$work/Cartscope-1.1.0.0.msi")
  new=$(product_code "$work/Cartscope-1.2.0.0.msi")
  rebuilt=$(product_code "$work/Cartscope-1.2.0.0-rebuilt.msi")
  [ "$new" != "$rebuilt" ] || fail "two builds of one version share a product code"
  folder=$local_app_data/Programs/Cartscope

  install install-old Cartscope-1.1.0.0.msi
  expect_status "installation of 1.1.0.0" $OK
  expect_arp_entry "$old" 1.1.0.0
  local autostart
  autostart="\"$(windows_path "$folder/Cartscope CMD.exe")\" /command:auto_update"
  w reg add "$run_key" /v Cartscope /d "$autostart" /f >/dev/null

  # A newer version replaces the older one.
  install upgrade Cartscope-1.2.0.0.msi
  expect_status "upgrade to 1.2.0.0" $OK
  expect_no_arp_entry "$old"
  expect_arp_entry "$new" 1.2.0.0
  [ "$(arp_count)" -eq 1 ] || fail "$(arp_count) Cartscope entries after the upgrade"
  [ -f "$folder/Cartscope.dll" ] || fail "no library after the upgrade"
  expect_classes 'HKCU\Software\Classes' "$(windows_path "$folder/Cartscope.dll")"
  # The upgrade keeps the program where it was, so the removal of the old
  # version leaves the autostart entry alone when it runs with
  # UPGRADINGPRODUCTCODE, as Windows runs it. Wine 8.0's RemoveExistingProducts
  # removes the old version with " REMOVE=ALL" alone (MsiConfigureProductEx),
  # so under Wine the entry goes; the package's condition is checked instead,
  # and the entry is expected gone, as Wine leaves it.
  msiinfo export "$work/Cartscope-1.1.0.0.msi" InstallExecuteSequence | tr -d '\r' |
    grep -q -P '^RemoveAutostartEntry\tREMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE\t' ||
    fail "the autostart entry is not kept through upgrades"
  [ -z "$(value_of "$run_key" Cartscope)" ] || fail "Wine's upgrade kept the autostart entry: check the comment above"

  # The same version again, as another build and as the same package: refused.
  install same-version Cartscope-1.2.0.0-rebuilt.msi
  expect_status "a second build of the installed version" $FAILED
  expect_no_arp_entry "$rebuilt"
  install same-package Cartscope-1.2.0.0.msi
  expect_status "the installed package again" $FAILED
  # An older version over a newer one: refused.
  install downgrade Cartscope-1.1.0.0.msi
  expect_status "1.1.0.0 over 1.2.0.0" $FAILED
  expect_arp_entry "$new" 1.2.0.0
  [ "$(arp_count)" -eq 1 ] || fail "$(arp_count) Cartscope entries after the refusals"
  # What the user is told. Wine 8.0's msi neither logs a failed launch
  # condition's text nor hands it to an external user interface; it shows it
  # in a message box when the installation has a user interface. So the
  # refusals are repeated with the basic interface on a private X display.
  [ "$(messages_of Cartscope-1.2.0.0-rebuilt.msi)" = "Cartscope 1.2.0.0 is already installed." ] ||
    fail "a second build of the installed version says: $(cat "$work/messages")"
  [ "$(messages_of Cartscope-1.2.0.0.msi)" = "Cartscope 1.2.0.0 is already installed." ] ||
    fail "the installed package again says: $(cat "$work/messages")"
  [ "$(messages_of Cartscope-1.1.0.0.msi)" = "A newer version of Cartscope is already installed." ] ||
    fail "an older version says: $(cat "$work/messages")"
  expect_arp_entry "$new" 1.2.0.0

  remove uninstall Cartscope-1.2.0.0.msi
  expect_status "uninstallation of 1.2.0.0" $OK
  [ "$(arp_count)" -eq 0 ] || fail "Cartscope entries left"
}

# messages_of PACKAGE: the message boxes of an installation with the basic user
# interface, answered with OK (install_messages.exe on a private X server, in
# a Wine virtual desktop). The prefix's Wine server is restarted around it: a
# server started without the display cannot show windows on it. The package
# path is given as Wine's Z: drive path, so that no Wine program starts first.
messages_of() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  CARTSCOPE_GUI_TIMEOUT=100 "$(dirname "$run")/wine-gui-run.sh" "$WINEPREFIX" "$messages" "Z:${work//\//\\}\\$1" \
    </dev/null >"$work/messages" 2>"$work/messages.err" || true
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  tr -d '\r' <"$work/messages"
}

# The rows an action adds to the classes and the machine keys.
export_all() {  # export_all NAME; a missing key exports as nothing
  local part key
  for part in user classes handlers; do
    case $part in
      user) key='HKCU\Software\Classes' ;;
      classes) key='HKLM\Software\Classes' ;;
      handlers) key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem' ;;
    esac
    w reg export "$key" "$(windows_path "$work")\\$1-$part.reg" /reg:64 /y </dev/null >/dev/null 2>&1 || : >"$work/$1-$part.reg"
  done
}
# added_rows BEFORE AFTER PART: without the installer's own bookkeeping
# (Classes\Installer). The type library's help folder is written with its
# closing backslash by the package (folder properties always end with one) and
# without by RegisterTypeLib: the same folder, compared without it.
added_rows() {
  python3 "$rows" added "$work/$1-$3.reg" "$work/$2-$3.reg" | grep -v -i -E '^Classes:installer(\\|$)' |
    sed -E 's/^([^\t]*\\helpdir\t@=.*)\\$/\1/' || true
}
compare_rows() {  # compare_rows WHAT EXPECTED ACTUAL
  if ! diff -u "$2" "$3" >"$work/diff"; then
    cat "$work/diff" >&2
    fail "$1: the package's rows differ from the library's (- library, + package)"
  fi
}

# Rows compared: every key and value that the package, or the library, added
# to the user's classes, the machine's classes and the property handlers,
# each against the same starting state.
scenario_registry() {
  package 1.2.0.0 Cartscope-1.2.0.0.msi
  local folder dll part

  # Per user: the package against DllInstall(TRUE, "user") on the same path.
  export_all before-user
  install install-user Cartscope-1.2.0.0.msi
  expect_status "per-user installation" $OK
  export_all package-user
  remove uninstall-user Cartscope-1.2.0.0.msi
  expect_status "per-user uninstallation" $OK
  folder=$local_app_data/Programs/Cartscope
  mkdir -p "$folder"
  cp "$library" "$folder/Cartscope.dll"
  dll=$(windows_path "$folder/Cartscope.dll")
  w regsvr32 /s /n /i:user "$dll" </dev/null >/dev/null 2>&1 || fail "regsvr32 /n /i:user failed"
  export_all library-user
  added_rows before-user package-user user >"$work/package-user.rows"
  # Wine registers a per-user type library for the machine
  # (RegisterTypeLibForUser writes the machine's classes); Windows writes the
  # user's classes, as the package does. The library's type library rows are
  # taken from where Wine put them.
  {
    added_rows before-user library-user user
    if added_rows before-user library-user classes | grep -i '^Classes:typelib\\'; then
      # RegisterTypeLibForUser on Windows creates the user's TypeLib key as well.
      python3 "$rows" rows "$work/before-user-user.reg" | grep -q -i '^Classes:typelib$' || echo 'Classes:typelib'
    fi
  } | sort >"$work/library-user.rows"
  compare_rows "per user" "$work/library-user.rows" "$work/package-user.rows"
  # The property handler is the machine's: the package leaves it out for a
  # user (the library, given the rights, writes it in every scope).
  [ -z "$(added_rows before-user package-user handlers)" ] || fail "the per-user package wrote the property handler"
  [ -n "$(added_rows before-user library-user handlers)" ] || fail "the comparison saw no property handler of the library"
  w regsvr32 /s /u /n /i:user "$dll" </dev/null >/dev/null 2>&1 || true
  rm -rf "$folder"

  # For all users: the package against DllRegisterServer on the same path.
  export_all before-machine
  install install-machine Cartscope-1.2.0.0.msi ALLUSERS=1
  expect_status "installation for all users" $OK
  export_all package-machine
  folder=$(unix_path 'C:\Program Files\Cartscope')
  cp "$folder/Cartscope.propdesc" "$work/package.propdesc" || fail "no property schema from the package"
  remove uninstall-machine Cartscope-1.2.0.0.msi ALLUSERS=1
  expect_status "uninstallation for all users" $OK
  mkdir -p "$folder"
  cp "$library" "$folder/Cartscope.dll"
  dll=$(windows_path "$folder/Cartscope.dll")
  w regsvr32 /s "$dll" </dev/null >/dev/null 2>&1 || fail "regsvr32 failed"
  export_all library-machine
  # The package's custom action writes the schema DllRegisterServer writes.
  cmp -s "$work/package.propdesc" "$folder/Cartscope.propdesc" || fail "the package's property schema differs from the library's"
  for part in classes handlers; do
    added_rows before-machine package-machine $part >"$work/package-machine-$part.rows"
    added_rows before-machine library-machine $part >"$work/library-machine-$part.rows"
  done
  compare_rows "all users, classes" "$work/library-machine-classes.rows" "$work/package-machine-classes.rows"
  compare_rows "all users, property handler" "$work/library-machine-handlers.rows" "$work/package-machine-handlers.rows"
  grep -q -i "^Classes:clsid.$clsid.inprocserver32	@=" "$work/package-machine-classes.rows" ||
    fail "the comparison saw no class entries"
}

case $scenario in
  per_user | all_users | upgrades | registry) "scenario_$scenario" ;;
  *) fail "unknown scenario $scenario" ;;
esac
echo "package $scenario: ok"
