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

cmake -S . -B build -DTVL_BUILD_GUI=ON >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
bin="$root/build/bin"

demo="${TVL_DEMO_DIR:-$root/build/demo}"
rm -rf "$demo"
mkdir -p "$demo/db/alpha" "$demo/db/beta" "$demo/backup" "$demo/server" "$demo/work"
echo "alpha data $(date)" > "$demo/db/alpha/CACHE.DAT"
head -c 65536 /dev/urandom > "$demo/db/alpha/extra.dat"
echo "beta data $(date)" > "$demo/db/beta/CACHE.DAT"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

# The server, on a free loopback port; its first line says which.
fifo="$demo/server/out"
mkfifo "$fifo"
"$bin/cachesim" --data "$demo/server/data" --listen 127.0.0.1:0 \
  --database "$demo/db/alpha" --database "$demo/db/beta" \
  --trace "$demo/server/trace.log" >"$fifo" 2>"$demo/server/stderr.log" &
pids+=($!)
exec 3<"$fifo"
if ! read -r -t 20 line <&3 || [[ "$line" != "listening on "* ]]; then
  echo "cachesim did not start; see $demo/server/stderr.log" >&2
  exit 1
fi
port=${line##*:}
cat <&3 >/dev/null &
echo "cachesim: $line"

# The demo working directory: message tables and one Daily task two minutes from now.
cp data/english.dat data/russian.dat "$demo/work/"
at=$(date -d '+2 minutes' '+%H %M')
start=$(printf '%2d:%02d' "$((10#${at% *}))" "$((10#${at#* }))")
printf 'Demo\001127.0.0.1\002%s\003%s/;%s/\004%s/\0051%s\0061\r\n' \
  "$port" "$demo/db/alpha" "$demo/db/beta" "$demo/backup" "$start" >"$demo/work/task.txt"
echo "Task \"Demo\" (Full, Daily at $start) backs up $demo/db/alpha and $demo/db/beta into $demo/backup"

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$demo/runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$demo/work"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Tarvel. The backup starts at $start; end Tarvel with File > Exit to stop everything."
  "$bin/tarvel"
  exit 0
fi

echo "No display: running Tarvel offscreen until the demo backup has completed (about two minutes)."
QT_QPA_PLATFORM=offscreen "$bin/tarvel" >"$demo/tarvel.out" 2>&1 &
pids+=($!)
deadline=$((SECONDS + 240))
joblog=""
while [ $SECONDS -lt $deadline ]; do
  for f in "$demo"/backup/*.log; do
    [ -e "$f" ] || continue
    if grep -q '^Backup completed successfully' "$f" || grep -q '^Backup failed' "$f"; then
      joblog=$f
    fi
  done
  [ -n "$joblog" ] && break
  sleep 2
done
if [ -z "$joblog" ]; then
  echo "No backup completed in time; see $demo/work/tvl.log and $demo/tarvel.out" >&2
  exit 1
fi
archive="${joblog%.log}.bcp"
echo
echo "Job log:      $joblog"
sed 's/^/    /' "$joblog"
echo "Archive:      $archive"
tar -tvf "$archive" | sed 's/^/    /'
echo "Activity log: $demo/work/tvl.log"
sed 's/^/    /' "$demo/work/tvl.log"
grep -q '^Backup completed successfully' "$joblog"
