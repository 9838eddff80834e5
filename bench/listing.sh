#!/usr/bin/env bash
# Times `dirka --list` against `find -printf` and the walker alone on a 1M-file tree.
#   bench/listing.sh [TREE] [ROUNDS]
# The tree is built once with shared/tools/gentree.py (fixed seed) outside the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-/tmp/dirka-bench/tree-1m}
rounds=${2:-3}
gentree="$root/../shared/tools/gentree.py"

if [ ! -d "$tree" ]; then
  echo "Building $tree (1,000,000 files, seed 1) ..." >&2
  mkdir -p "$(dirname "$tree")"
  python3 "$gentree" "$tree" --files 1000000 --seed 1 >&2
fi
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
"$root/scripts/setup.sh"
dirka="$root/build/bin/dirka"
walker="$root/build/bench/bench_walker"

find "$tree" -printf '%p %s\n' >/dev/null # warm the cache

measure() { # label, command...: prints wall s, user s, sys s, peak KiB
  local label=$1; shift
  local times
  times=$(mktemp)
  /usr/bin/time -o "$times" -f '%e %U %S %M' "$@" >/dev/null 2>/dev/null || true
  printf '%-14s %s\n' "$label" "$(tail -n 1 "$times")"
  rm -f "$times"
}

echo "round label          wall_s user_s sys_s peak_KiB"
for r in $(seq "$rounds"); do
  measure "dirka-list" "$dirka" --list "$tree" --set S.Preset=6 | sed "s/^/$r /"
  measure "find-printf" find "$tree" -printf '%p %s\n' | sed "s/^/$r /"
  measure "walker-only" "$walker" "$tree" 6 | sed "s/^/$r /"
done
lines=$("$dirka" --list "$tree" --set S.Preset=6 | wc -l)
bytes=$("$dirka" --list "$tree" --set S.Preset=6 | wc -c)
echo "listed lines: $lines, output bytes: $bytes"
"$walker" "$tree" 6
