#!/usr/bin/env bash
# Whether "Cartscope CMD.exe" lets CARTSCOPE_UPDATE_SERVER choose its update
# server: builds with test hooks take it (the tests run their own servers),
# release builds never do.
#   run_with_servers.sh server_variable_test.sh takes|ignores WINE_RUN PREFIX PROGRAM
# The automatic update command runs with the variable naming the local test
# server, whose version file offers nothing new (so nothing is installed
# either way); the server's request log tells whether the program asked it.
set -euo pipefail
expect=$1 runner=$2 prefix=$3 program=$4
www=$CARTSCOPE_TEST_WWW_UNIX
rm -f "$www/requests.log"
printf 'database:0\r\n' >"$www/version.txt"
status=0
CARTSCOPE_UPDATE_SERVER=$CARTSCOPE_TEST_HTTP "$runner" "$prefix" "$program" /command:auto_update || status=$?
[ $status -eq 0 ] || { echo "FAIL: the program ended with $status"; exit 1; }
asked=$(grep -c '^/Cartscope/version.txt' "$www/requests.log" 2>/dev/null || true)
case $expect in
  takes) [ "${asked:-0}" -ge 1 ] || { echo "FAIL: the program did not ask the server named by the variable"; exit 1; } ;;
  ignores) [ "${asked:-0}" -eq 0 ] || { echo "FAIL: the release program asked the server named by the variable"; exit 1; } ;;
  *) echo "usage: takes|ignores"; exit 2 ;;
esac
echo "ok: the program $expect the variable"
