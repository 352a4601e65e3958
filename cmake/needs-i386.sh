#!/usr/bin/env bash
# Runs a test that starts a 32-bit Windows program:
#   needs-i386.sh COMMAND [ARGS...]
# On a machine that cannot run 32-bit x86 programs it says why and exits 77,
# which the test's SKIP_RETURN_CODE turns into "skipped".
# shellcheck source=wine-loader.sh
. "$(dirname "$0")/wine-loader.sh"
if ! machine_runs_i386; then
  echo "SKIPPED: $no_i386_reason"
  exit 77
fi
exec "$@"
