#!/usr/bin/env bash
# Fails when a release binary still carries a test hook: the name of an
# environment variable through which tests steer the programs, as 8-bit or
# UTF-16 text.
#   no_test_hooks_test.sh FILE...
set -euo pipefail
hooks=(CARTSCOPE_UPDATE_SERVER CARTSCOPE_TEST_)
status=0
for file in "$@"; do
  [ -s "$file" ] || { echo "FAIL: $file is missing or empty"; status=1; continue; }
  for name in "${hooks[@]}"; do
    wide=$(printf '%s' "$name" | sed 's/./&\\x00/g')
    if LC_ALL=C grep -aqF "$name" "$file" || LC_ALL=C grep -aqP "$wide" "$file"; then
      echo "FAIL: $file names the test hook $name"
      status=1
    fi
  done
  [ $status -ne 0 ] || echo "no test hooks: $file"
done
exit $status
