#!/usr/bin/env bash
# Times cartscope's jobs against the floors of the hardware, pair by pair, and
# prints the ratios (see paired.py for how):
#   bench/compare.sh [--cartscope PATH] [--pairs N] [JOB...]
# JOB: icon, icon_file, icon_png, thumbnail, info, untrim, trim, info256, and the
# yardsticks cxx_start and safe_write (what a per-file run pays whatever it
# does); default: all. PATH defaults to the linux preset's build
# (cmake --build --preset linux --target cartscope).
# Needs cc, c++ and the headers of zlib and libpng (the set-up script installs both), and about
# 600 MiB in TMPDIR. Run it on a quiet machine; quote the ratios.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cartscope=$here/../build/linux/cli/cartscope
pairs=31
while [ $# -gt 0 ]; do
  case $1 in
    --cartscope) cartscope=$2; shift 2 ;;
    --pairs) pairs=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    -*) echo "compare.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ -x "$cartscope" ] || { echo "compare.sh: no cartscope at $cartscope (build it, or give --cartscope)" >&2; exit 2; }
cartscope=$(cd "$(dirname "$cartscope")" && pwd)/$(basename "$cartscope")

work=$(mktemp -d "${TMPDIR:-/tmp}/cartscope-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/floors"
for floor in icon_floor icon_file_floor info_floor trim_floor; do
  cc -O2 -o "$work/floors/$floor" "$here/floors/$floor.c" -lz
done
cc -O2 -o "$work/floors/icon_png_floor" "$here/floors/icon_png_floor.c" -lpng16
c++ -O2 -static-libstdc++ -static-libgcc -Wl,--gc-sections -o "$work/floors/cxx_floor" "$here/floors/cxx_floor.cpp"
echo "cartscope: $cartscope ($("$cartscope" --version 2>/dev/null || echo 'no --version'))"
echo "machine: $(nproc) processors, $(uname -r)"
python3 "$here/paired.py" "$cartscope" "$work/floors" "$here/../samples" "$work" "$pairs" "$@"
