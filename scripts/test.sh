#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test:
#   linux  native core, command line and their tests
#   win64  the 64-bit Windows build, tests under Wine
#   win32  the 32-bit Windows build, tests under Wine
#   fuzz   clang with AddressSanitizer and UBSan: the tests again, and a short fuzzing run
#   release-win64, release-win32, release-linux  what is shipped (no test hooks), and its checks:
#                  the installer under Wine, the signed release, install-update-uninstall
#   release        scripts/release.sh writes dist/
# Exits non-zero when any build or test fails. On a machine that cannot run
# 32-bit x86 programs (see cmake/wine-loader.sh) the win32 preset is built but
# its tests are not run, and the tests elsewhere that start the 32-bit program
# are skipped; the last line says so.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

presets=(linux win64 win32 fuzz release-win64 release-win32 release-linux)
mkdir -p build
failed_presets=()
total_passed=0
total_failed=0
total_skipped=0
not_run=()
# shellcheck source=../cmake/wine-loader.sh
. cmake/wine-loader.sh

# Everything is built first: the 64-bit library's end-to-end menu test starts
# the 32-bit program of the win32 build.
built=()
for preset in "${presets[@]}"; do
  echo
  echo "==== build $preset"
  if ! cmake --preset "$preset" >"build/$preset.build.log" 2>&1 || ! cmake --build --preset "$preset" >>"build/$preset.build.log" 2>&1; then
    cat "build/$preset.build.log"
    echo "==== $preset: build failed"
    failed_presets+=("$preset (build)")
  else
    built+=("$preset")
  fi
  rm -f "build/$preset.build.log"
done

for preset in "${built[@]}"; do
  echo
  echo "==== $preset"
  if [ "$preset" = win32 ] && ! machine_runs_i386; then
    echo "not run: $no_i386_reason"
    not_run+=("$preset")
    continue
  fi
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  # ctest counts a skipped test among the passed ones.
  skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" || true)
  rm -f "$log"
  if [ -n "$summary" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    count=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    total_passed=$((total_passed + count - failed - skipped))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
  fi
  if [ "$status" -ne 0 ] || [ -z "$summary" ]; then
    failed_presets+=("$preset")
  fi
done

# The release itself, as a maintainer makes it: dist/ (the release presets
# are built already, and their tests have tried the packages).
echo
echo "==== release"
if bash scripts/release.sh --no-setup; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
  failed_presets+=("release")
fi

echo
if [ ${#failed_presets[@]} -ne 0 ]; then
  echo "Failed: ${failed_presets[*]}"
fi
if [ ${#not_run[@]} -ne 0 ]; then
  echo "Not run: ${not_run[*]} ($no_i386_reason)"
fi
echo "$total_passed passed, $total_skipped skipped, $total_failed failed"
[ ${#failed_presets[@]} -eq 0 ]
