#!/usr/bin/env bash
# Rows for saved listings: list the 1M tree with --json (the catalogue), list the catalogue
# against the tree itself, and compare a catalogue that differs in 1% of its files (0.4% of
# files missing from it, as if added since; 0.3% with another size; 0.3% with another time)
# with the tree, against `--list T --json` alone. Wall time and peak memory by GNU time.
#   bench/catalog.sh [TREE] [ROUNDS] [DIRKA]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-/work/bench-trees/tree-1m}
rounds=${2:-3}
dirka=${3:-$root/build/bin/dirka}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config LC_ALL=C.UTF-8
all=(--set IsHiddenFiles=1 --set IsSystemFiles=1)
save=(--set S.Preset=10 --set S.Mode=0 --set S.IsSkip=0 --set S.Base=10 --set S.Folder=10
  --set S.File=10 --set S.SortMode=1)
t() { /usr/bin/time -f "$1 %e s %M KiB" "${@:2}" >/dev/null || [ $? = 4 ]; }
"$dirka" --list "$tree" "${all[@]}" "${save[@]}" --json "$work/saved.jsonl" >/dev/null
python3 - "$work/saved.jsonl" "$work/old.jsonl" <<'PY'
import random, sys
rng = random.Random(1)
with open(sys.argv[1]) as f, open(sys.argv[2], 'w') as out:
    for line in f:
        r = rng.random()
        if '"type":"file"' in line and r < 0.004:
            continue
        if '"type":"file"' in line and r < 0.007:
            line = line.replace('"size":', '"size":1', 1)
        elif '"type":"file"' in line and r < 0.010:
            line = line.replace('"modified":"20', '"modified":"19', 1)
        out.write(line)
PY
for _ in $(seq "$rounds"); do
  t "list-json" "$dirka" --list "$tree" "${all[@]}" --json "$work/again.jsonl"
  t "compare" "$dirka" --compare "$work/old.jsonl" "$tree" "${all[@]}"
  t "list-tree" "$dirka" --list "$tree" "${all[@]}" --set S.Preset=1
  t "list-catalog" "$dirka" --list "$work/saved.jsonl" "${all[@]}" --set S.Preset=1
done 2>&1 | sort
