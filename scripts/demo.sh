#!/usr/bin/env bash
# Sets up the machine, builds the Linux command line and runs it on the
# bundled sample ROMs and release database: their info tips, the names
# "Rename to ..." offers, and their icons as PNG pictures.
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
