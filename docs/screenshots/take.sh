#!/usr/bin/env bash
# Draws the desktop program's windows on a virtual X display and saves the pictures in this
# folder: the main window with the groups of the Once, Weekly and Monthly run modes, the New
# Task Name dialog, About, and the main window in Russian. Needs Debian's xvfb (xvfb-run);
# trayer gives the display a tray.
#   docs/screenshots/take.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"

cd "$root"
. scripts/deps.sh
tvl_install_deps
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target tvl_screenshots

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  tray_pid=""
  if command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    tray_pid=$!
  fi
  QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$1/bin/tvl_screenshots" "$2"
  status=$?
  if [ -n "$tray_pid" ]; then kill "$tray_pid" 2>/dev/null || true; fi
  exit $status
' _ "$build" "$here"
