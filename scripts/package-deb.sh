#!/usr/bin/env bash
# Builds the Debian package cartscope_<version>_amd64.deb into OUTPUT_FOLDER.
#
#   scripts/package-deb.sh OUTPUT_FOLDER [BUILD_FOLDER]
#
# The package is made of the build folder's cartscope (by default the linux
# preset's, build/linux, configured first when it is not yet): the program,
# its manual page, bash completion and the thumbnailer entry of file
# managers. Its dependencies come from the program's shared libraries
# (dpkg-shlibdeps). Prints the package's path.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUTPUT_FOLDER [BUILD_FOLDER]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build/linux}
mkdir -p "$1"
output=$(cd "$1" && pwd)

if [ ! -f "$build/CPackConfig.cmake" ]; then
  if [ $# -eq 2 ]; then
    echo "$0: $build is not a configured build folder" >&2
    exit 1
  fi
  (cd "$root" && cmake --preset linux >/dev/null)
fi
cmake --build "$build" --target cartscope cartscope_desktop >/dev/null

# CPack works in a folder of its own; only the package is kept.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
shopt -s nullglob
packages=("$work"/cartscope_*_amd64.deb)
if [ ${#packages[@]} -ne 1 ]; then
  cat "$work/cpack.log" >&2
  echo "$0: CPack made no single package" >&2
  exit 1
fi
mv -f "${packages[0]}" "$output/"
echo "$output/$(basename "${packages[0]}")"
