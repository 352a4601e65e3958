#!/usr/bin/env bash
# A real client: Cartscope.dll registered with regsvr32, then Wine's own shell
# asked for the info tip of a sample ROM (IShellFolder::GetUIObjectOf with
# IQueryInfo). The text must be ours.
#   shell_tip_test.sh WINE_RUN PREFIX LIBRARY PROBE ROM
set -euo pipefail

run=$1
prefix=$2
library=$3
probe=$4
rom=$5

dll=$("$run" "$prefix" winepath -w "$library" | tr -d '\r')
unregister() {
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;propsys=d" "$run" "$prefix" regsvr32 /s /u "$dll" || true
}
trap unregister EXIT

"$run" "$prefix" regsvr32 /s "$dll"
tip=$("$run" "$prefix" "$probe" shelltip "$rom")
name=$(basename "$rom")
expected="$name
ROM-Size: "
case "$tip" in
  "$expected"*) echo "the shell's info tip comes from Cartscope.dll:"; printf '%s\n' "$tip" ;;
  *) echo "FAIL: unexpected info tip from the shell:"; printf '%s\n' "$tip"; exit 1 ;;
esac
