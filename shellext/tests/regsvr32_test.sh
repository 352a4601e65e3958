#!/usr/bin/env bash
# regsvr32 on a copy of Cartscope.dll in the Wine test prefix, checked with
# reg (which runs as a 32-bit program: /reg:64 shows what the 64-bit library
# wrote):
#   regsvr32_test.sh WINE_RUN PREFIX LIBRARY
set -euo pipefail

run=$1
prefix=$2
library=$3
clsid='{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}'
handler='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.nds'

work=$(mktemp -d "${TMPDIR:-/tmp}/cartscope-regsvr32.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$library" "$work/Cartscope.dll"
dll=$("$run" "$prefix" winepath -w "$work/Cartscope.dll" | tr -d '\r')

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# reg query KEY [/ve]: the key's default value, or nothing when it is missing.
default_of() {
  "$run" "$prefix" reg query "$1" /ve /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p' || true
}

# regsvr32 ARGS...: the 64-bit regsvr32 under Wine. (Started by its name,
# Wine's 32-bit regsvr32 would start it for the 64-bit library.) Exit status 3
# is regsvr32's "the library could not be loaded": seen once in many runs with
# nothing changed, when the 32-bit one came first. Then the loader's account of
# a second attempt is shown, and that attempt decides.
regsvr32() {
  local status=0
  CARTSCOPE_WINE64=1 "$run" "$prefix" regsvr32 "$@" || status=$?
  if [ "$status" -eq 3 ]; then
    echo "regsvr32 $*: the library could not be loaded (exit 3); once more, with the loader's messages:" >&2
    ls -l "$work" >&2
    status=0
    CARTSCOPE_WINE64=1 WINEDEBUG=err+all,+loaddll "$run" "$prefix" regsvr32 "$@" 2>"$work/loader.log" || status=$?
    grep -v -F -i 'Loaded L"C:\\windows\\sys' "$work/loader.log" | tail -n 40 >&2 || true
  fi
  return "$status"
}

# With a property system that cannot be loaded, the schema steps are skipped.
# Wine's own propsys.dll does not implement PSUnregisterPropertySchema, and
# unregistration stops, as it must, when the schema cannot be unregistered.
without_propsys() {
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;propsys=d" "$@"
}

# For the machine.
regsvr32 /s "$dll" || fail "regsvr32 exited with $?"
[ "$(default_of "HKCR\\CLSID\\$clsid\\InprocServer32")" = "$dll" ] || fail "InprocServer32 does not name $dll"
[ "$(default_of "$handler")" = "$clsid" ] || fail "no property handler"
[ -s "$work/Cartscope.propdesc" ] || fail "no schema file beside the library"

without_propsys regsvr32 /s /u "$dll" || fail "regsvr32 /u exited with $?"
[ -z "$(default_of "HKCR\\CLSID\\$clsid\\InprocServer32")" ] || fail "class left registered"
[ -z "$(default_of "$handler")" ] || fail "property handler left registered"
[ "$(default_of 'HKCR\.nds')" = "nds_auto_file" ] || fail ".nds lost its file type"

# For the user (DllInstall with "user"); the property handler is the machine's.
without_propsys regsvr32 /s /n /i:user "$dll" || fail "regsvr32 /i:user exited with $?"
[ "$(default_of "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32")" = "$dll" ] || fail "no per-user class"
[ "$(default_of "$handler")" = "$clsid" ] || fail "no property handler after per-user registration"

without_propsys regsvr32 /s /u /n /i:user "$dll" || fail "regsvr32 /u /i:user exited with $?"
[ -z "$(default_of "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32")" ] || fail "per-user class left"
[ -z "$(default_of "$handler")" ] || fail "property handler left after per-user unregistration"
echo "regsvr32 registration: ok"
