#!/usr/bin/env bash
# Runs a Windows program with windows (through wine-gui-run.sh) at another
# screen resolution than the 96 DPI of the build's prefix:
#   wine-dpi-run.sh DPI BASE_PREFIX PROGRAM [ARGS...]
# The program runs in a prefix of its own, BASE_PREFIX-DPIdpi, so that no other
# test ever sees the setting: a copy of the base prefix (made first when
# missing) with hard links, the files that Wine rewrites copied for real, and
# the value LogPixels = DPI under HKCU\Control Panel\Desktop, where Wine 8
# takes the system DPI from.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dpi=$1
base=$2
shift 2
prefix=$base-${dpi}dpi

if [ "$(cat "$prefix/.cartscope-dpi" 2>/dev/null)" != "$dpi" ]; then
  [ -f "$base/.cartscope-ready" ] || "$here/wine-run.sh" "$base" wineboot >/dev/null
  mkdir -p "$(dirname "$prefix")"
  (
    # The lock that wine-run.sh takes to make a prefix.
    flock 9
    if [ "$(cat "$prefix/.cartscope-dpi" 2>/dev/null)" != "$dpi" ]; then
      rm -rf "$prefix" "$prefix.new"
      cp -al "$base" "$prefix.new"
      # Wine rewrites the registry files (and the time stamp of its last
      # update of the prefix): the copy must not write into the base
      # prefix's. The file "wineserver" names the base prefix's server.
      for file in "$base"/*.reg "$base/.update-timestamp"; do
        if [ -f "$file" ]; then cp --remove-destination "$file" "$prefix.new/$(basename "$file")"; fi
      done
      rm -f "$prefix.new/wineserver"
      mv "$prefix.new" "$prefix"
      "$here/wine-run.sh" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 9>&-
      # Every Wine program of the prefix, its virtual desktop too, must start
      # at the new resolution.
      WINEPREFIX=$prefix wineserver -k 9>&- || true
      echo "$dpi" >"$prefix/.cartscope-dpi"
    fi
  ) 9>"$prefix.lock"
fi

exec "$here/wine-gui-run.sh" "$prefix" "$@"
