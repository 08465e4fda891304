#!/usr/bin/env bash
# Installs what is missing, builds, and shows the program's main job on the sample tasks:
# the backups the scheduler will start in the next 14 days.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
tvl_install_deps

cmake -S . -B build -DTVL_BUILD_GUI=ON >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/sample/task.txt data/sample/english.dat data/sample/russian.dat "$work"/
from=$(date +%F)
to=$(date -d '+13 days' +%F)
echo "Expected backups of the sample tasks, $from to $to:"
./build/bin/tarvelctl --dir "$work" expected "$from" "$to"
