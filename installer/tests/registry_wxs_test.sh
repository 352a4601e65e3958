#!/usr/bin/env bash
# The generated registry rows as they arrive in a package: the fragment and
# its queries applied to a small product around a stand-in library file
# (wixl and msibuild, as make_msi.sh uses them), then the tables read back.
#   registry_wxs_test.sh GENERATOR
set -euo pipefail

generator=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/cartscope-registry-wxs.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$generator" "$work/registry.wxs" "$work/registry.sql"
echo stand-in >"$work/Cartscope.dll"
cat >"$work/product.wxs" <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{11111111-2222-3333-4444-555555555555}" Name="Rows" Language="1033" Version="1.0.0.0" Manufacturer="Test"
           UpgradeCode="{11111111-2222-3333-4444-555555555556}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perUser" />
    <Media Id="1" Cabinet="rows.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLFOLDER" Name="Rows">
          <Component Id="Library" Guid="{11111111-2222-3333-4444-555555555557}" Win64="yes">
            <File Id="CartscopeDll" Name="Cartscope.dll" Source="Cartscope.dll" KeyPath="yes" />
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Rows" Level="1"><ComponentRef Id="Library" /><ComponentGroupRef Id="RegistryEntries" /></Feature>
  </Product>
</Wix>
WXS
(cd "$work" && wixl -a x64 -o rows.msi product.wxs registry.wxs) 2>"$work/wixl.log" || {
  cat "$work/wixl.log" >&2
  fail "wixl refused the fragment"
}
! grep -E 'CRITICAL|ERROR' "$work/wixl.log" >&2 || fail "wixl reported errors"
while IFS= read -r query; do
  msibuild "$work/rows.msi" -q "$query" >/dev/null 2>&1 || fail "query failed: $query"
done <"$work/registry.sql"

table() { msiinfo export "$work/rows.msi" "$1" | tr -d '\r' | tail -n +4; }
table Registry >"$work/registry.rows"
table RemoveRegistry >"$work/remove.rows"
table Component >"$work/component.rows"
field() { awk -F'\t' -v n="$1" '{ print $n }'; }

# Roots: the classes of the scope (-1) and the machine (2), nothing else.
[ "$(field 2 <"$work/registry.rows" | sort -u | tr '\n' ' ')" = "-1 2 " ] || fail "roots: $(field 2 <"$work/registry.rows" | sort -u | tr '\n' ' ')"
# The library's path and folder are references, never escaped text.
grep -q -P '\tSoftware\\Classes\\CLSID\\\{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5\}\\InprocServer32\t\t\[#CartscopeDll\]\t' "$work/registry.rows" ||
  fail "InprocServer32 does not name [#CartscopeDll]"
grep -q -P '\\HELPDIR\t\t\[INSTALLFOLDER\]\t' "$work/registry.rows" || fail "the type library's folder is not [INSTALLFOLDER]"
# Each key deleted at uninstallation ("*") is deleted at installation too,
# before it is written afresh.
diff <(awk -F'\t' '$4 == "*" { print $2 "\t" $3 }' "$work/registry.rows" | sort) \
  <(awk -F'\t' '$4 == "-" { print $2 "\t" $3 }' "$work/remove.rows" | sort) >&2 ||
  fail "replace-mode keys and install-time deletions differ"
[ "$(awk -F'\t' '$4 == "*"' "$work/registry.rows" | wc -l)" -ge 10 ] || fail "too few replace-mode keys"
# Keep-mode values stay (permanent component); the machine's rows are for all users only.
grep -q -P '^ClassEntriesKept\t[^\t]*\tINSTALLFOLDER\t276\t\t' "$work/component.rows" || fail "keep-mode component not permanent"
grep -q -P '^ClassEntries\t[^\t]*\tINSTALLFOLDER\t260\t\t' "$work/component.rows" || fail "replace-mode component"
grep -q -P '^MachineEntries\t[^\t]*\tINSTALLFOLDER\t260\tALLUSERS\t' "$work/component.rows" || fail "machine component not for all users only"
grep -q -P '\t\.nds\t\tnds_auto_file\tClassEntriesKept$' <(sed 's/\tSoftware\\Classes\\/\t/' "$work/registry.rows") ||
  fail ".nds's file type is not kept"
grep -q -P '^[^\t]*\t2\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\\.nds\t\t\{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5\}\tMachineEntries$' \
  "$work/registry.rows" || fail "no property handler row"
echo "registry rows: ok"
