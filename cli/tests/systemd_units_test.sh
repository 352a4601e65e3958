#!/usr/bin/env bash
# The systemd user units of update-db, as systemd reads them, and where
# cmake --install puts them:
#   systemd_units_test.sh UNIT_FOLDER CARTSCOPE BUILD_FOLDER
# Exits 77 (skipped) without systemd-analyze.
set -uo pipefail
units=$1 cli=$2 build=$3
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# systemd looks the program up in its own fixed path, where an installed
# cartscope is but the one built here is not: the check reads a copy that
# names the built one.
mkdir -p "$work/units" "$work/run"
sed "s|^ExecStart=cartscope |ExecStart=$cli |" "$units/cartscope-update-db.service" >"$work/units/cartscope-update-db.service"
cp "$units/cartscope-update-db.timer" "$work/units/"
grep -q "^ExecStart=$cli update-db$" "$work/units/cartscope-update-db.service" ||
  { echo "FAIL: the service does not run \"cartscope update-db\""; status=1; }
# The manual page is checked by the package's own tests.
out=$(cd "$work/units" && XDG_RUNTIME_DIR=$work/run systemd-analyze --user --man=no verify \
  cartscope-update-db.service cartscope-update-db.timer 2>&1) || status=1
if [ -n "$out" ]; then
  echo "FAIL: systemd-analyze verify: $out"
  status=1
fi

# Installed into lib/systemd/user/ of the prefix, disabled (no links made).
if cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  for unit in cartscope-update-db.service cartscope-update-db.timer; do
    cmp -s "$units/$unit" "$work/prefix/lib/systemd/user/$unit" || { echo "FAIL: $unit is not installed into lib/systemd/user/"; status=1; }
  done
  if find "$work/prefix" -type l -path '*systemd*' | grep -q .; then
    echo "FAIL: the installation enables a unit"
    status=1
  fi
else
  echo "FAIL: cmake --install failed:"
  cat "$work/install.log"
  status=1
fi
[ $status -eq 0 ] && echo "systemd units: passed"
exit $status
