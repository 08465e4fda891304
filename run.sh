#!/usr/bin/env bash
# The program's main job on one machine: installs what is missing, builds, starts the
# simulated database server with two small demo databases, and starts Tarvel in a demo
# working directory whose one Daily task is due two minutes from now.
#
# With a display, Tarvel opens its window; end it with File > Exit (or Close in the tray
# menu) and this script stops the server too. Without a display Tarvel runs offscreen until
# the demo backup's log says it completed; then everything is stopped.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
. scripts/deps.sh
tvl_install_deps

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DTVL_BUILD_GUI=ON >/dev/null
cmake --build build -j"$jobs" --target tarvel vism cachesim
bin="$root/build/bin"

demo="${TVL_DEMO_DIR:-$root/build/demo}"
rm -rf "$demo"
mkdir -p "$demo/db/alpha" "$demo/db/beta" "$demo/backup" "$demo/server" "$demo/work" \
  "$demo/runtime" "$demo/config"
chmod 700 "$demo/runtime"
echo "alpha data $(date)" >"$demo/db/alpha/CACHE.DAT"
head -c 65536 /dev/urandom >"$demo/db/alpha/extra.dat"
echo "beta data $(date)" >"$demo/db/beta/CACHE.DAT"

server_pid=""
tarvel_pid=""
stop() {
  # Tarvel first, so its end line is written while the server is still there.
  if [ -n "$tarvel_pid" ]; then
    kill -TERM "$tarvel_pid" 2>/dev/null || true
    wait "$tarvel_pid" 2>/dev/null || true
    tarvel_pid=""
  fi
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
trap stop EXIT

# The server, on a free loopback port; its first line says which.
fifo="$demo/server/out"
mkfifo "$fifo"
"$bin/cachesim" --data "$demo/server/data" --listen 127.0.0.1:0 \
  --database "$demo/db/alpha" --database "$demo/db/beta" \
  --trace "$demo/server/trace.log" >"$fifo" 2>"$demo/server/stderr.log" &
server_pid=$!
exec 3<"$fifo"
if ! read -r -t 20 line <&3 || [[ "$line" != "listening on "* ]]; then
  echo "cachesim did not start; see $demo/server/stderr.log" >&2
  exit 1
fi
port=${line##*:}
# Whatever else the server says is read away, so it never writes into a full pipe.
cat <&3 >/dev/null &
exec 3<&-
echo "cachesim: $line"

# The demo working directory: message tables, help pages (F1) and one Daily task two minutes
# from now, written byte for byte as the program writes task lines (fields joined by 0x01..0x06).
cp data/english.dat data/russian.dat data/English.htm data/Russian.htm "$demo/work/"
at=$(date -d '+2 minutes' '+%H %M')
start=$(printf '%2d:%02d' "$((10#${at% *}))" "$((10#${at#* }))")
{
  printf 'Demo\x01127.0.0.1\x02%s\x03%s/;%s/\x04%s/\x05' \
    "$port" "$demo/db/alpha" "$demo/db/beta" "$demo/backup"
  printf '1%s\x061\r\n' "$start"
} >"$demo/work/task.txt"
echo "Task \"Demo\" (Full, Daily at $start) backs up $demo/db/alpha and $demo/db/beta into $demo/backup"

# A runtime and settings folder of the demo's own: a Tarvel the user already runs is not
# woken instead, and the user's settings are not touched.
export XDG_RUNTIME_DIR="$demo/runtime"
export XDG_CONFIG_HOME="$demo/config"
cd "$demo/work"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Tarvel. The backup starts at $start."
  echo "Closing the window only puts it in the tray; File > Exit (Ctrl+Q), Close in the tray"
  echo "menu or Ctrl+C here end Tarvel, and this script then stops cachesim."
  "$bin/tarvel" || true
  echo "Archive and job log: $demo/backup; activity log: $demo/work/tvl.log"
  exit 0
fi

echo "No display: running Tarvel offscreen until the demo backup has completed (about two minutes)."
# Offscreen nobody could close a box: boxes are answered OK and written to tarvel.out.
QT_QPA_PLATFORM=offscreen TVL_TEST_ANSWER=ok "$bin/tarvel" >"$demo/tarvel.out" 2>&1 &
tarvel_pid=$!
deadline=$((SECONDS + 240))
joblog=""
while [ $SECONDS -lt $deadline ] && kill -0 "$tarvel_pid" 2>/dev/null; do
  for f in "$demo"/backup/*.log; do
    [ -e "$f" ] || continue
    if grep -q '^Backup completed successfully' "$f" || grep -q '^Backup failed' "$f"; then
      joblog=$f
    fi
  done
  [ -n "$joblog" ] && break
  sleep 2
done
# Tarvel ends before its log is shown, so the log's end line is there.
stop
if [ -z "$joblog" ]; then
  echo "No backup completed in time; see $demo/work/tvl.log and $demo/tarvel.out" >&2
  exit 1
fi
archive="${joblog%.log}.bcp"
echo
echo "Job log:      $joblog"
sed 's/^/    /' "$joblog"
if [ -e "$archive" ]; then
  echo "Archive:      $archive"
  tar -tvf "$archive" | sed 's/^/    /'
fi
echo "Activity log: $demo/work/tvl.log"
sed 's/^/    /' "$demo/work/tvl.log"
echo "Tarvel's output: $demo/tarvel.out"
grep -q '^Backup completed successfully' "$joblog"
