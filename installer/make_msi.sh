#!/usr/bin/env bash
# Builds the Cartscope installer package from built binaries:
#   make_msi.sh --library PATH/Cartscope.dll --program "PATH/Cartscope CMD.exe"
#               --version A.B.C.D [-o OUT.msi] [--registry FRAGMENT.wxs TABLES.sql]
# The package is written to OUT.msi (by default Cartscope-A.B.C.D.msi in the
# current folder). The registry rows come from the library's registry table:
# --registry names the two files that the registry_wxs generator of a native
# build wrote; without it the generator is compiled from this source tree with
# the host's C++ compiler (c++, or $CXX). Needs wixl and msibuild (msitools).
#
# Every build gets a new product code: a second build of one version is a
# different product to Windows Installer, and the package's launch conditions
# refuse it over the same version (as over a newer one).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

usage() {
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
die() {
  echo "make_msi.sh: $*" >&2
  exit 1
}

library= program= version= output= fragment= queries=
while [ $# -gt 0 ]; do
  case $1 in
    --library) library=${2:?}; shift 2 ;;
    --program) program=${2:?}; shift 2 ;;
    --version) version=${2:?}; shift 2 ;;
    -o|--output) output=${2:?}; shift 2 ;;
    --registry) fragment=${2:?}; queries=${3:?}; shift 3 ;;
    -h|--help) usage ;;
    *) echo "make_msi.sh: unknown argument: $1" >&2; usage ;;
  esac
done
[ -n "$library" ] && [ -n "$program" ] && [ -n "$version" ] || usage
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "the version must be four numbers, not \"$version\""
# Windows Installer's limits for a product version.
IFS=. read -r major minor build _ <<<"$version"
[ "$major" -le 255 ] && [ "$minor" -le 255 ] && [ "$build" -le 65535 ] ||
  die "version $version is beyond what Windows Installer takes (255.255.65535.x)"
output=${output:-Cartscope-$version.msi}
command -v wixl >/dev/null && command -v msibuild >/dev/null || die "wixl and msibuild (package wixl, msitools) are needed"

# The machine a PE file is built for: its COFF header's Machine field.
pe_machine() {
  local offset
  [ "$(head -c 2 "$1")" = "MZ" ] || return 1
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -c -j"$offset" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 1
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}
[ -f "$library" ] || die "no library at $library"
[ -f "$program" ] || die "no program at $program"
[ "$(pe_machine "$library" || true)" = 8664 ] || die "$library is not a 64-bit (x64) Windows library"
[ "$(pe_machine "$program" || true)" = 014c ] || die "$program is not a 32-bit (x86) Windows program"

work=$(mktemp -d "${TMPDIR:-/tmp}/cartscope-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/stage"
cp "$library" "$work/stage/Cartscope.dll"
cp "$program" "$work/stage/Cartscope CMD.exe"

if [ -z "$fragment" ]; then
  "${CXX:-c++}" -std=c++17 -O1 -I"$root" "$here/registry_wxs.cpp" "$root/shellext/registry_table.cpp" "$root/core/text.cpp" -o "$work/registry_wxs" ||
    die "cannot build the registry generator"
  fragment=$work/generated.wxs queries=$work/generated.sql
  "$work/registry_wxs" "$fragment" "$queries"
fi
[ -f "$fragment" ] && [ -f "$queries" ] || die "no registry fragment at $fragment and $queries"

product_code=$(tr 'a-f' 'A-F' </proc/sys/kernel/random/uuid)
# wixl takes file sources relative to the folder it runs in.
cp "$here/cartscope.wxs" "$work/cartscope.wxs"
cp "$fragment" "$work/registry.wxs"
(cd "$work" && wixl -a x64 -D Version="$version" -D ProductCode="{$product_code}" -D Stage=stage \
  -o package.msi cartscope.wxs registry.wxs) 2>"$work/wixl.log" || {
  cat "$work/wixl.log" >&2
  die "wixl failed"
}
# wixl reports some mistakes without failing.
if grep -E 'CRITICAL|ERROR' "$work/wixl.log" >&2; then die "wixl reported errors"; fi

upgrade_code=$(msiinfo export "$work/package.msi" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
[ -n "$upgrade_code" ] || die "the package has no upgrade code"
while IFS= read -r query; do
  case $query in '' | --*) continue ;; esac
  query=${query//@VERSION@/$version}
  query=${query//@UPGRADE_CODE@/$upgrade_code}
  msibuild "$work/package.msi" -q "$query" >"$work/query.log" 2>&1 || {
    cat "$work/query.log" >&2
    die "query failed: $query"
  }
done < <(cat "$queries" "$here/package.sql")

mkdir -p "$(dirname "$output")"
mv "$work/package.msi" "$output.tmp.$$"
mv "$output.tmp.$$" "$output"
echo "$output"
