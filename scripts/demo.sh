#!/usr/bin/env bash
# Sets up the machine, builds the Linux command line and runs it on the
# bundled sample ROMs and release database: their info tips, the names
# "Rename to ..." offers, and their icons as PNG pictures. Then the same
# through Cartscope.dll under Wine, as the Explorer would get them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target cartscope

cartscope=build/linux/cli/cartscope
out=build/demo
mkdir -p "$out"

echo
echo "== cartscope info --db samples/nds-rom.dat samples/*.nds"
"$cartscope" info --db samples/nds-rom.dat samples/*.nds

echo "== cartscope names --db samples/nds-rom.dat --pattern '[%N] %T(%R)' samples/star-courier.nds"
"$cartscope" names --db samples/nds-rom.dat --pattern '[%N] %T(%R)' samples/star-courier.nds
echo

echo "== cartscope icon"
for rom in samples/*.nds; do
  png="$out/$(basename "${rom%.nds}").png"
  "$cartscope" icon "$rom" -o "$png" --size 64
  echo "$rom -> $png"
done

# The same samples through Cartscope.dll under Wine, as the Explorer sees them.
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Cartscope shellprobe
probe() { cmake/wine-run.sh "$PWD/build/win64/wineprefix" build/win64/shellext/shellprobe.exe "$@"; }

echo
echo "== Cartscope.dll under Wine: info tips (IQueryInfo)"
probe --db samples/nds-rom.dat tip samples/*.nds
echo "== Cartscope.dll under Wine: property store (IPropertyStore)"
probe props samples/star-courier.nds
echo "== Cartscope.dll under Wine: icons (IExtractIconW)"
for rom in samples/*.nds; do
  png="$out/$(basename "${rom%.nds}")-dll.png"
  probe icon "$rom" -o "$png"
  echo "$rom -> $png"
done
