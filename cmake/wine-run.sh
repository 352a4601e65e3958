#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is made on first use (under a lock, so parallel tests share it),
# with the crash debugger switched off so that a crash fails the run instead
# of waiting for a click. A time-out ends a program that hangs.
set -euo pipefail

prefix=$1
shift

export WINEPREFIX=$prefix
# Wine makes Unix file names from Unicode ones through the locale's character
# set: without a UTF-8 locale a name such as "ゲーム.nds" cannot be created.
# So Wine always gets the same locale, whatever the caller has (or lacks):
# C.UTF-8, which every Debian 12 has. LC_ALL, which wins over LANG and the
# single LC_* categories, is set to it as well.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer, no menu entries on the host.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
# shellcheck source=wine-loader.sh
. "$(dirname "$0")/wine-loader.sh"

make_prefix() {
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.cartscope-ready" ]; then
      rm -rf "$prefix"
      "$wine_loader" wineboot -i </dev/null >/dev/null 2>&1
      for view in 32 64; do
        "$wine_loader" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f /reg:$view >/dev/null 2>&1 || true
      done
      wineserver -w
      touch "$prefix/.cartscope-ready"
    fi
  ) 9>"$prefix.lock"
}

[ -f "$prefix/.cartscope-ready" ] || make_prefix

# A server that outlives single runs spares each program the start-up of Wine;
# it ends by itself a minute after the last program. The server and Wine's
# own services must not inherit this program's output: whoever reads it (ctest)
# would wait for them to end. So they are started here, apart from the program.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
"$wine_loader" wineboot </dev/null >/dev/null 2>&1 || true

# CARTSCOPE_WINE64=1 starts a program by its name in the 64-bit system folder
# (by default a name such as regsvr32 starts the 32-bit one, which starts the
# 64-bit one again for a 64-bit library).
loader=$wine_loader
if [ "${CARTSCOPE_WINE64:-}" = 1 ]; then
  loader=$wine_loader64
fi
exec timeout --kill-after=10 "${CARTSCOPE_WINE_TIMEOUT:-300}" "$loader" "$@"
