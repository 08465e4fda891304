#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it the way a user gets it:
# lintian and appstreamcli on the package, then the programs run from the package's files
# unpacked into a temporary root (not from the build folder): the versions, the schedule
# preview on the samples, a backup on the packaged simulated server started by the
# packaged tarvelctl, the launcher of the menu entry, and the bash completion's task names.
#
# Usage: scripts/package-test.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=$(cd "${1:-build}" && pwd)

fail() {
  echo "package test: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
deb="$build/package/tarvel_${version}_amd64.deb"

echo "== package =="
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack failed"
[ -f "$deb" ] || fail "cpack made no $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Version\|Depends\|Section\):/  \1:/p'

echo "== lintian =="
# Errors fail the test; the warnings kept are listed in docs/packaging.md.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

tmp=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

root=$tmp/root
dpkg -x "$deb" "$root"
usr=$root/usr

echo "== metainfo and menu entry =="
metainfo=$(ls "$usr"/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate: $metainfo"
desktop-file-validate "$usr/share/applications/tarvel.desktop" || fail "desktop-file-validate"
exec_path=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$usr/share/applications/tarvel.desktop")
[ -x "$root$exec_path" ] || fail "the menu entry starts $exec_path, which the package lacks"
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$usr/share/icons/hicolor/${size}x${size}/apps/tarvel.png" ] || fail "no ${size}px icon"
done

echo "== unpacked programs =="
for program in tarvel tarvelctl cachesim; do
  out=$("$usr/bin/$program" --version) || fail "$program --version failed"
  [ "$out" = "$program $version" ] || fail "$program --version says \"$out\""
done
# The preview from the package equals the one from the build, and is not empty.
mkdir "$tmp/sample"
cp "$src"/data/sample/* "$tmp/sample/"
from=$(date +%F)
to=$(date -d '+40 days' +%F)
packaged=$(env -u TVL_VISM_LIBRARY "$usr/bin/tarvelctl" --dir "$tmp/sample" expected "$from" "$to")
built=$("$build/bin/tarvelctl" --dir "$tmp/sample" expected "$from" "$to")
[ -n "$packaged" ] || fail "tarvelctl expected on the samples printed nothing"
[ "$packaged" = "$built" ] || fail "the packaged tarvelctl's preview differs from the built one's"

echo "== a backup with the packaged cachesim and tarvelctl =="
mkdir -p "$tmp/db/alpha" "$tmp/backup" "$tmp/work" "$tmp/server"
echo "alpha $(date)" >"$tmp/db/alpha/CACHE.DAT"
cp "$src"/data/english.dat "$src"/data/russian.dat "$tmp/work/"
mkfifo "$tmp/server/out"
"$usr/bin/cachesim" --data "$tmp/server/data" --listen 127.0.0.1:0 --database "$tmp/db/alpha" \
  >"$tmp/server/out" 2>"$tmp/server/err" &
server_pid=$!
exec 3<"$tmp/server/out"
read -r -t 20 line <&3 || fail "cachesim did not start: $(cat "$tmp/server/err")"
[[ "$line" == "listening on "* ]] || fail "cachesim said \"$line\""
cat <&3 >/dev/null &
exec 3<&-
port=${line##*:}
printf 'Sample\x01127.0.0.1\x02%s\x03%s/\x04%s/\x051 9:00\x061\r\n' \
  "$port" "$tmp/db/alpha" "$tmp/backup" >"$tmp/work/task.txt"
# The control is the packaged one, found beside the packaged programs' folder.
env -u TVL_VISM_LIBRARY "$usr/bin/tarvelctl" --dir "$tmp/work" run Sample ||
  fail "tarvelctl run failed"
done_log=""
for _ in $(seq 1 100); do
  done_log=$(grep -l '^Backup completed successfully' "$tmp"/backup/*.log 2>/dev/null || true)
  [ -n "$done_log" ] && break
  sleep 0.2
done
[ -n "$done_log" ] || fail "the backup did not complete: $(cat "$tmp"/backup/*.log 2>/dev/null)"
[ -s "${done_log%.log}.bcp" ] || fail "no archive beside $done_log"
kill -TERM "$server_pid"
wait "$server_pid" || fail "cachesim did not end cleanly"
server_pid=""

echo "== the menu entry's launcher =="
# The program it starts is replaced by one that tells where it was started and with what.
shipped=$usr/share/tarvel
[ -f "$shipped/english.dat" ] && [ -f "$shipped/russian.dat" ] || fail "no message tables shipped"
mv "$usr/bin/tarvel" "$usr/bin/tarvel.real"
printf '#!/bin/sh\necho "$PWD|$*"\n' >"$usr/bin/tarvel"
chmod +x "$usr/bin/tarvel"
launch=$root$exec_path

# An empty data folder is seeded with every shipped file.
out=$(env -u XDG_DATA_HOME HOME="$tmp/home" "$launch" --one two)
work=$tmp/home/.local/share/tarvel
[ "$out" = "$work|--one two" ] || fail "launcher started \"$out\""
for f in "$shipped"/*; do
  [ -f "$f" ] || continue
  cmp -s "$f" "$work/${f##*/}" || fail "launcher did not copy ${f##*/}"
done

# The user's own files stay as they are; only what is missing is added.
user=$tmp/data/tarvel
mkdir -p "$user"
echo "the user's own table" >"$user/english.dat"
printf 'Mine\x01\r\n' >"$user/task.txt"
before=$(cd "$user" && sha256sum english.dat task.txt)
out=$(XDG_DATA_HOME="$tmp/data" "$launch")
[ "$out" = "$user|" ] || fail "launcher started \"$out\" for XDG_DATA_HOME"
[ "$(cd "$user" && sha256sum english.dat task.txt)" = "$before" ] ||
  fail "launcher changed the user's files"
cmp -s "$shipped/russian.dat" "$user/russian.dat" || fail "launcher did not add russian.dat"
ls -A "$user" | grep -q '^\.' && fail "launcher left temporary files: $(ls -A "$user")"
mv "$usr/bin/tarvel.real" "$usr/bin/tarvel"

# The service's unit runs the packaged tarvelctl through the launcher, in the folder the
# menu entry uses, seeded the same way.
unit=$usr/lib/systemd/user/tarvel.service
if [ -f "$unit" ]; then
  grep -q '^ExecStart=/usr/lib/tarvel/tarvel-launch --serve$' "$unit" ||
    fail "unit: $(grep ExecStart "$unit")"
  mv "$usr/bin/tarvelctl" "$usr/bin/tarvelctl.real"
  printf '#!/bin/sh\necho "$PWD|$*"\n' >"$usr/bin/tarvelctl"
  chmod +x "$usr/bin/tarvelctl"
  out=$(XDG_DATA_HOME="$tmp/xdg" "$launch" --serve --catch-up 5)
  [ "$out" = "$tmp/xdg/tarvel|--dir $tmp/xdg/tarvel serve --catch-up 5" ] ||
    fail "the service's launcher started \"$out\""
  cmp -s "$shipped/english.dat" "$tmp/xdg/tarvel/english.dat" ||
    fail "the service's launcher did not seed the folder"
  mv "$usr/bin/tarvelctl.real" "$usr/bin/tarvelctl"
  out=$(env -u XDG_DATA_HOME HOME="$tmp/seed" "$launch" --seed)
  [ -z "$out" ] && cmp -s "$shipped/english.dat" "$tmp/seed/.local/share/tarvel/english.dat" ||
    fail "tarvel-launch --seed did not seed the folder alone"
fi

echo "== bash completion =="
names=$(bash -c '. "$1"; _tarvelctl_tasks "$2"' _ \
  "$usr/share/bash-completion/completions/tarvelctl" "$tmp/sample" | tr '\n' ' ')
[ "$names" = "Nightly Workdays MonthEnd BeforeUpgrade " ] || fail "completion's task names: $names"

echo "Package $deb passed."
