#!/usr/bin/env bash
# Takes the pictures in this folder on a virtual X display (Xvfb) with a window manager
# (openbox) and a tray (trayer):
# - the built program itself, driven with xdotool as a user drives it and photographed with
#   ImageMagick's import, window frame and all: the Date Interval dialog, the Task Viewer with
#   a year of rows, About, the Service menu and the main window after the switch to Russian;
# - the main window in each run mode and the New Task Name dialog, drawn by tvl_screenshots.
#   docs/screenshots/take.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"

cd "$root"
. scripts/deps.sh
tvl_install_deps
cmake -S . -B "$build" -DTVL_BUILD_GUI=ON >/dev/null
cmake --build "$build" -j2 --target tarvel vism tvl_screenshots

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The window whose title is exactly $1, once it is shown.
window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "no window \"$1\" was shown" >&2
  return 1
}

shot() {
  sleep 0.7
  import -frame -window "$1" "$here/$2"
  echo "saved $here/$2"
}

keys() {
  xdotool key --delay 150 "$@"
  sleep 0.4
}

QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$build/bin/tvl_screenshots" "$here"

# The program in a working folder of its own with a few tasks of every run mode, settings and
# runtime folders of its own, and no server: nothing is due while the pictures are taken.
mkdir -p "$work/folder" "$work/config" "$work/runtime" "$work/data"
chmod 700 "$work/runtime"
cp data/english.dat data/russian.dat data/English.htm data/Russian.htm "$work/folder/"
task() { printf '%s\x0110.0.0.%s\x021972\x03/srv/db/%s/\x04/srv/backup/\x05%s\x06%s\r\n' "$@"; }
{
  task "Nightly" 5 user "1 2:00" 1
  task "Working days" 5 test "023:30" 21111100
  task "Accounts" 7 accounts "2 4:15" 311111111111115
  task "Weekend full" 7 archive "112:00" 20000011
  task "Year end" 9 user "118:00" "0$(date -d "$(date +%Y)-12-31" +%-m/%-d/%Y)"
} >"$work/folder/task.txt"
(
  cd "$work/folder"
  XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" \
    QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 exec "$build/bin/tarvel" >"$work/tarvel.out" 2>&1
) &
pids+=($!)
main=$(window "Tarvel Utility")
xdotool windowactivate --sync "$main"
sleep 1

# Task > Expected backups (the menu's last item); To a year after From: Tab goes through
# From's day, month and year, then into To, whose year goes up by one.
keys alt+t Up Return
dialog=$(window "Date Interval")
keys Tab Tab Tab End Up
shot "$dialog" date-interval.png
keys Return
viewer=$(window "Task Viewer")
shot "$viewer" task-viewer.png
keys Escape
sleep 1

keys alt+h a
about=$(window "About")
shot "$about" about.png
keys Return
sleep 1

# Service > Language > Russian, then the Service menu again, now in Russian.
xdotool windowactivate --sync "$main"
keys alt+s l r
sleep 1
# Alt and the Service menu's Russian letter р, then its Language submenu.
keys alt+Cyrillic_er Right
# The open menus are windows of their own: the part of the screen where the main window is,
# its title bar (about 20 pixels) included.
x=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left X: *//p')
y=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left Y: *//p')
w=$(xwininfo -id "$main" | sed -n 's/.*Width: *//p')
h=$(xwininfo -id "$main" | sed -n 's/.*Height: *//p')
sleep 0.7
import -window root -crop "${w}x$((h + 20))+${x}+$((y - 20))" +repage "$here/menu-russian.png"
echo "saved $here/menu-russian.png"
keys Escape Escape Escape
shot "$main" main-russian.png
