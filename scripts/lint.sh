#!/usr/bin/env bash
# Format and lint checks over the tree as it stands.
#   scripts/lint.sh            the format check
#   scripts/lint.sh --tidy DIR also clang-tidy with the root .clang-tidy; DIR holds the
#                              compile_commands.json of a configured build
set -euo pipefail
cd "$(dirname "$0")/.."
tidy=false
if [ "${1:-}" = "--tidy" ]; then
  tidy=true
  build=${2:-build}
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find app bench cli controls core server sim tests ui -name '*.cpp' -o -name '*.h')

echo "== clang-format =="
clang-format --dry-run -Werror "${files[@]}"

$tidy || exit 0

echo "== clang-tidy =="
# The program's own sources; tests and generated moc/uic files are left out.
sources=()
for f in "${files[@]}"; do
  case "$f" in
    app/*.cpp | cli/*.cpp | controls/*.cpp | core/*.cpp | server/*.cpp | sim/*.cpp | ui/*.cpp)
      sources+=("$PWD/$f") ;;
  esac
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run-clang-tidy -quiet -p "$build" -j "$(nproc 2>/dev/null || echo 2)" "${sources[@]}" >"$log" 2>&1 || true
if grep -E '(warning|error):' "$log" | grep -v 'warnings generated' >/dev/null; then
  grep -E -A3 '(warning|error):' "$log"
  echo "clang-tidy: findings above" >&2
  exit 1
fi
echo "clang-tidy: no findings in ${#sources[@]} files"
