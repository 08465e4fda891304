#!/usr/bin/env bash
# Format and lint checks over the tree as it stands.
#   scripts/lint.sh                 the format check
#   scripts/lint.sh --tidy DIR      also clang-tidy with the root .clang-tidy; DIR holds the
#                                   compile_commands.json of a configured and built tree
#   scripts/lint.sh --tidy-only DIR clang-tidy alone
# Each check fails on its first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
format=true
tidy=false
case "${1:-}" in
  --tidy) tidy=true ;;
  --tidy-only) tidy=true format=false ;;
esac
build=${2:-build}

mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find app bench cli controls core server sim tests ui -name '*.cpp' -o -name '*.h')

if $format; then
  echo "== clang-format =="
  clang-format --dry-run -Werror "${files[@]}"
fi

$tidy || exit 0

echo "== clang-tidy =="
if [ ! -f "$build/compile_commands.json" ]; then
  echo "clang-tidy: no $build/compile_commands.json; configure and build first" >&2
  exit 1
fi
# The project's own sources, tests and benchmarks included; generated moc and uic files are
# not in git and so never here. Headers are checked through the sources that include them.
sources=()
for f in "${files[@]}"; do
  case "$f" in
    *.cpp) sources+=("$PWD/$f") ;;
  esac
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
run-clang-tidy -quiet -p "$build" -j "$(nproc 2>/dev/null || echo 2)" "${sources[@]}" >"$log" 2>&1 || true
if grep -E '(warning|error):' "$log" | grep -v 'warnings generated' >/dev/null; then
  grep -E -A3 '(warning|error):' "$log"
  echo "clang-tidy: findings above" >&2
  exit 1
fi
echo "clang-tidy: no findings in ${#sources[@]} files ($(($(date +%s) - start)) s)"
