#!/usr/bin/env bash
# Times `dirka --list` against `find -printf` like for like: hidden and system entries on, so
# both visit the same entries. Paired rounds (dirka, then find, on a warm cache); medians.
#   bench/listing.sh [TREE] [ROUNDS] [DIRKA]
# TREE is built once with shared/tools/gentree.py (1,000,000 files, seed 1) outside the
# repository; a flat folder of 300,000 files is built beside it. DIRKA defaults to this build's.
# RAW=FILE keeps the single runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-/tmp/dirka-bench/tree-1m}
rounds=${2:-5}
dirka=${3:-$root/build/bin/dirka}
flat="$(dirname "$tree")/flat-300k"
gentree="$root/../shared/tools/gentree.py"

command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
if [ ! -d "$tree" ]; then
  echo "Building $tree (1,000,000 files, seed 1) ..." >&2
  mkdir -p "$(dirname "$tree")"
  python3 "$gentree" "$tree" --files 1000000 --seed 1 >&2
fi
if [ ! -d "$flat" ]; then
  echo "Building $flat (300,000 files in one folder) ..." >&2
  python3 - "$flat" <<'EOF'
import os, random, sys
random.seed(1)
words = "report photo data backup final Zürich été Łódź Ελλάδα 東京 서울 mix track album".split()
os.makedirs(sys.argv[1])
for i in range(300000):
    name = f"{random.choice(words)} {random.choice(words)}-{i:06d}.{random.choice(['mp3', 'jpg', 'txt'])}"
    os.close(os.open(os.path.join(sys.argv[1], name), os.O_CREAT | os.O_WRONLY, 0o644))
EOF
fi
[ "$dirka" = "$root/build/bin/dirka" ] && "$root/scripts/setup.sh"

config=$(mktemp -d)
# The exports go to memory where it can be, so the disk's write-back is not what is timed.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then exports=$(mktemp -d -p /dev/shm); else exports=$(mktemp -d); fi
trap 'rm -rf "$config" "$exports"' EXIT
export XDG_CONFIG_HOME=$config LC_ALL=C.UTF-8
all=(--set IsHiddenFiles=1 --set IsSystemFiles=1)
path_size=(--set S.Preset=10 --set S.Mode=0 --set S.Base=0 --set S.Folder=0 --set S.File=11
  --set S.IsSummary=0 --set S.IsNewLine=0 --set S.SortMode=1 --set S.IsHeader=0)

# label, command...: one line "label wall_s peak_KiB"
measure() {
  local label=$1 times
  shift
  times=$(mktemp)
  /usr/bin/time -o "$times" -f '%e %M' "$@" >/dev/null 2>/dev/null || true
  echo "$label $(tail -n 1 "$times")"
  rm -f "$times"
}

# label, location, dirka arguments...: a round of dirka then find, for every round
pair() {
  local label=$1 location=$2
  shift 2
  find "$location" -printf '%p %s\n' >/dev/null # warm
  for _ in $(seq "$rounds"); do
    measure "$label" env LC_ALL="${dirka_locale:-C.UTF-8}" "$dirka" --list "$location" "${all[@]}" "$@"
    measure "$label-find" find "$location" -printf '%p %s\n'
  done
}

{
  pair preset6 "$tree" --set S.Preset=6 --set S.IsHeader=0
  pair path+size "$tree" "${path_size[@]}"
  pair default+header "$tree" --set S.IsHeader=1
  pair preset6+exports "$tree" --set S.Preset=6 --set S.IsHeader=0 --output "$exports/l.txt" \
    --encoding utf8 --html "$exports/l.html" --m3u8 "$exports/l.m3u8"
  pair preset6+records "$tree" --set S.Preset=6 --set S.IsHeader=0 --csv "$exports/l.csv" \
    --json "$exports/l.jsonl"
  dirka_locale=en_US.UTF-8 pair flat-en_US "$flat" --set S.Preset=6 --set S.IsHeader=0
} | tee "${RAW:-/dev/null}" | python3 -c '
import statistics, sys
rows = {}
for line in sys.stdin:
    label, wall, peak = line.split()
    rows.setdefault(label, []).append((float(wall), int(peak)))
print("%-16s %8s %8s %6s %10s %9s" % ("run", "dirka s", "find s", "ratio", "dirka MiB", "find MiB"))
for label, runs in rows.items():
    if label.endswith("-find"):
        continue
    finds = rows[label + "-find"]
    ratio = statistics.median(d[0] / f[0] for d, f in zip(runs, finds))
    print(f"{label:16} {statistics.median(r[0] for r in runs):8.2f} "
          f"{statistics.median(f[0] for f in finds):8.2f} {ratio:5.2f}x "
          f"{statistics.median(r[1] for r in runs) / 1024:10.1f} "
          f"{statistics.median(f[1] for f in finds) / 1024:9.1f}")
'
