#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#  1. the whole project, warnings as errors, its tests, clang-tidy over every C++ source
#     (scripts/lint.sh --tidy-only) and its Debian package (scripts/package-test.sh);
#  2. everything but the desktop program without Qt, with AddressSanitizer and
#     UndefinedBehaviorSanitizer, which also proves that core, server, cli and sim need no Qt.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
tvl_install_deps

jobs=$(nproc 2>/dev/null || echo 2)

echo "== format =="
scripts/lint.sh

echo "== full build =="
cmake -S . -B build -DTVL_WERROR=ON -DTVL_BUILD_GUI=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
echo "== clang-tidy =="
# On the full build's compile_commands.json, so the windows' sources are checked too.
scripts/lint.sh --tidy-only build
scripts/package-test.sh build

echo "== build without Qt, sanitizers on =="
cmake -S . -B build-asan -DTVL_WERROR=ON -DTVL_BUILD_GUI=OFF -DTVL_BUILD_BENCH=OFF -DTVL_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "All tests passed."
