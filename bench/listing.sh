#!/usr/bin/env bash
# Times `dirka --list` against other listers like for like: hidden and system entries on, so all
# visit the same entries; names-only styles against `find -type f` and `fdfind -u -t f`, sized
# styles against `find -printf '%p %s\n'` and `du -ab`; each to /dev/null and through a pipe
# (`| cat >/dev/null`). Paired rounds: every command of a row runs once per round, in turn, on a
# warm cache; medians of wall time, user time and peak memory, and the median of the rounds'
# ratios. The user time of the names-only run is also set against bare_walk (openat + getdents64,
# no order: the floor). bench/measure.py times each run: GNU time's wall time and peak, and the
# user time to the microsecond.
#   bench/listing.sh [TREE] [ROUNDS] [DIRKA]
# TREE is built once with shared/tools/gentree.py (1,000,000 files, seed 1) outside the
# repository; a flat folder of 300,000 files is built beside it. DIRKA defaults to this build's.
# RAW=FILE keeps the single runs. fd-find (Debian package) is used when installed; without it its
# rows say so. COLD=1 drops the page, dentry and inode caches before every run (as root), so each
# command reads the disk; BUSY=N keeps N busy loops (`yes >/dev/null`) running through all rounds.
# ONLY=REGEX runs only the rows whose name matches (ONLY='names|path\+size'). Peers' ratios are
# given for wall time and for CPU time (user + system).
set -euo pipefail
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-/work/bench-trees/tree-1m}
rounds=${2:-5}
dirka=${3:-$root/build/bin/dirka}
bare=${BARE:-$root/build/bench/bare_walk}
flat="$(dirname "$tree")/flat-300k"
gentree="$root/../shared/tools/gentree.py"
[ -f "$gentree" ] || gentree=/work/shared/tools/gentree.py

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
[ -x "$bare" ] || { echo "needs $bare (cmake --build build --target bare_walk)" >&2; exit 1; }
fd=$(command -v fdfind || command -v fd || true)
[ -n "$fd" ] || echo "note: fdfind not installed (apt-get install fd-find): its rows are left out" >&2

config=$(mktemp -d)
# The exports go to memory where it can be, so the disk's write-back is not what is timed.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then exports=$(mktemp -d -p /dev/shm); else exports=$(mktemp -d); fi
busy=()
trap 'rm -rf "$config" "$exports"; [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}"' EXIT
export XDG_CONFIG_HOME=$config LC_ALL=C.UTF-8
all=(--set IsHiddenFiles=1 --set IsSystemFiles=1)
names=(--set S.Preset=6 --set S.IsHeader=0)
path_size=(--set S.Preset=10 --set S.Mode=0 --set S.Base=0 --set S.Folder=0 --set S.File=11
  --set S.IsSummary=0 --set S.IsNewLine=0 --set S.SortMode=1 --set S.IsHeader=0)

# label, command...: one line "label wall_s user_s peak_KiB", output to /dev/null
measure() {
  local row=${1%%|*}
  [ -z "${ONLY:-}" ] || [[ $row =~ ^($ONLY)$ ]] || return 0
  if [ "${COLD:-0}" = 1 ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
  python3 "$root/bench/measure.py" "$@"
}
for _ in $(seq "${BUSY:-0}"); do
  yes >/dev/null &
  busy+=($!)
done
# the same through a pipe into cat (the peak is the larger of the two)
piped() {
  local label=$1
  shift
  measure "$label" bash -c '"$@" | cat >/dev/null' _ "$@"
}

round() {
  local d=("$dirka" --list)
  measure "names|dirka" "${d[@]}" "$tree" "${all[@]}" "${names[@]}"
  measure "names|find -type f" find "$tree" -type f
  [ -z "$fd" ] || measure "names|fdfind -u -t f" "$fd" -u -t f . "$tree"
  measure "names|bare_walk" "$bare" "$tree"
  piped "names, pipe|dirka" "${d[@]}" "$tree" "${all[@]}" "${names[@]}"
  piped "names, pipe|find -type f" find "$tree" -type f
  [ -z "$fd" ] || piped "names, pipe|fdfind -u -t f" "$fd" -u -t f . "$tree"
  measure "path+size|dirka" "${d[@]}" "$tree" "${all[@]}" "${path_size[@]}"
  measure "path+size|find -printf" find "$tree" -printf '%p %s\n'
  measure "path+size|du -ab" du -ab "$tree"
  [ -z "$fd" ] || measure "path+size|fdfind -u -t f -l" "$fd" -u -t f -l . "$tree"
  piped "path+size, pipe|dirka" "${d[@]}" "$tree" "${all[@]}" "${path_size[@]}"
  piped "path+size, pipe|find -printf" find "$tree" -printf '%p %s\n'
  piped "path+size, pipe|du -ab" du -ab "$tree"
  measure "names+exports|dirka" "${d[@]}" "$tree" "${all[@]}" "${names[@]}" \
    --output "$exports/l.txt" --encoding utf8 --html "$exports/l.html" --m3u8 "$exports/l.m3u8"
  measure "names+exports|dirka plain" "${d[@]}" "$tree" "${all[@]}" "${names[@]}"
  measure "names+records|dirka" "${d[@]}" "$tree" "${all[@]}" "${names[@]}" \
    --csv "$exports/l.csv" --json "$exports/l.jsonl"
  measure "default+header|dirka" "${d[@]}" "$tree" "${all[@]}" --set S.IsHeader=1
  measure "default+header|find -printf" find "$tree" -printf '%p %s\n'
  measure "flat en_US|dirka" env LC_ALL=en_US.UTF-8 "${d[@]}" "$flat" "${all[@]}" "${names[@]}"
  measure "flat en_US|find -type f" find "$flat" -type f
}

find "$tree" -printf '%p %s\n' >/dev/null # warm
find "$flat" -printf '%p %s\n' >/dev/null
for _ in $(seq "$rounds"); do round; done | tee "${RAW:-/dev/null}" | python3 -c '
import statistics, sys
rows = {}
order = []
for line in sys.stdin:
    label, wall, user, cpu, peak = line.rsplit(" ", 4)
    row, who = label.split("|")
    if row not in rows:
        rows[row] = {}
        order.append(row)
    rows[row].setdefault(who, []).append((float(wall), float(user), int(peak), float(cpu)))
med = statistics.median
print("%-16s %-20s %8s %8s %8s %9s %s" % ("run", "command", "wall s", "user s", "cpu s", "peak MiB",
      "dirka / it (wall, cpu)"))
for row in order:
    cmds = rows[row]
    mine = cmds.get("dirka")
    for who, runs in cmds.items():
        ratio = ""
        if who != "dirka" and mine:
            ratio = "%.2fx, %.2fx" % (med(d[0] / r[0] for d, r in zip(mine, runs)),
                                      med(d[3] / max(r[3], 0.001) for d, r in zip(mine, runs)))
            if who == "bare_walk":
                # The system samples user time at its clock ticks (4 ms here): the means of the
                # rounds estimate it without bias where single runs of 0.04 s jump by a tick.
                mean = statistics.mean
                ratio += "  user %.2fx (means)" % (mean(d[1] for d in mine) / max(mean(r[1] for r in runs), 0.001))
        print("%-16s %-20s %8.2f %8.3f %8.2f %9.1f %s" % (row, who, med(r[0] for r in runs),
              med(r[1] for r in runs), med(r[3] for r in runs), med(r[2] for r in runs) / 1024, ratio))
'
