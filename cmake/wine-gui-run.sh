#!/usr/bin/env bash
# Runs a Windows program with windows under Wine, headless:
#   wine-gui-run.sh PREFIX PROGRAM [ARGS...]
# The prefix comes from wine-run.sh (made on first use). Once per prefix, a
# Wine virtual desktop is set in its registry: without one, Wine waits for a
# window manager whenever a window is hidden. The program runs on its own X
# server (xvfb-run -a, so parallel runs never share a display) with a hard
# time-out (CARTSCOPE_GUI_TIMEOUT seconds, 100 by default). When the program
# fails or hangs, a picture of the screen is saved as PNG into the folder
# named by CARTSCOPE_SCREENSHOT_DIR (taken before a hung program is ended).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ "${1:-}" = "--on-display" ]; then
  # Second stage, inside xvfb-run: DISPLAY names the private X server.
  shift
  prefix=$1
  program=$2
  limit=${CARTSCOPE_GUI_TIMEOUT:-100}

  snapshot() {
    local dir=${CARTSCOPE_SCREENSHOT_DIR:-}
    [ -n "$dir" ] || return 0
    mkdir -p "$dir"
    local file
    file="$dir/$(basename "$program" .exe)-$1-$(date +%Y%m%d-%H%M%S)-$$.png"
    if import -window root "$file" </dev/null >/dev/null 2>&1; then
      echo "wine-gui-run: screenshot saved to $file" >&2
    else
      echo "wine-gui-run: no screenshot could be taken" >&2
    fi
  }

  # wine-run.sh has a time-out of its own as the last resort; it passes a
  # TERM on to the program.
  CARTSCOPE_WINE_TIMEOUT=$((limit + 30)) "$here/wine-run.sh" "$@" &
  program_pid=$!
  sleep "$limit" </dev/null >/dev/null 2>&1 &
  sleeper_pid=$!

  finished=""
  set +e
  wait -n -p finished "$program_pid" "$sleeper_pid"
  status=$?
  set -e
  if [ "$finished" = "$program_pid" ]; then
    kill "$sleeper_pid" 2>/dev/null || true
    wait "$sleeper_pid" 2>/dev/null || true
    if [ "$status" -ne 0 ]; then
      echo "wine-gui-run: $(basename "$program") failed with status $status" >&2
      snapshot failed
    fi
    exit "$status"
  fi
  echo "wine-gui-run: $(basename "$program") still runs after ${limit} s; ending it" >&2
  snapshot timeout
  kill -TERM "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  exit 124
fi

prefix=$1
desktop=cartscope

# The desktop setting, once per prefix, under the prefix's own lock file so
# it never races with wine-run.sh making the prefix.
if [ ! -f "$prefix/.cartscope-desktop" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.cartscope-desktop" ]; then
      "$here/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d "$desktop" /f >/dev/null 9>&-
      "$here/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$desktop" /d 1024x768 /f >/dev/null 9>&-
      touch "$prefix/.cartscope-desktop"
    fi
  ) 9>"$prefix.desktop.lock"
fi

# One program with windows at a time per prefix: its virtual desktop lives on
# the X server of the program that opened it, so two X servers must not share
# it. The lock is released when this script ends.
exec 8>"$prefix.gui.lock"
flock 8
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/wine-gui-run.sh" --on-display "$@" 8>&-
