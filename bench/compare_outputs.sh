#!/usr/bin/env bash
# Compares what two builds of dirka print and write, byte for byte.
#   bench/compare_outputs.sh OLD NEW [TREE]
# Without TREE a 20,000-entry tree is built with shared/tools/gentree.py (seed 2) in a temporary
# folder, and every preset (header off and on), custom styles for every file code and order, and
# the locales C, en_US, pl_PL and de_DE are compared. TREE "hostile" builds a small tree of names
# that are shown otherwise than their bytes say and compares the same. With a folder as TREE
# (e.g. the 1,000,000-file tree) only preset 6 and the path + size style are compared, header off
# (ALL=1: everything).
# Each run compares standard output, the saved text (utf8bom and utf16), the page and the
# playlist. The header's clock time, drive line and elapsed time are masked; nothing else is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$1
new=$2
tree=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
full=1
if [ "$tree" = hostile ]; then
  tree="$work/hostile"
  python3 - "$tree" <<'EOF'
import os, sys
names = [b"plain.txt", b"caf\xc3\xa9.mp3", b"bad\xff\xfe.bin", b"tab\there", b"nl\nx",
         b"rlo_\xe2\x80\xaetxt.exe", b"lsep\xe2\x80\xa8", b"emoji\xf0\x9f\x98\x80.jpg",
         b"over\xc0\xaf", b"surr\xed\xa0\x80", b"del\x7f", b"c1\xc2\x85", b"nbsp\xc2\xa0a",
         b"fffe\xef\xbf\xbe", b"iso\xe2\x81\xa6x", b"\xe6\x9d\xb1\xe4\xba\xac", b"Zebra",
         b"apple", b"Apple", b"e\xcc\x81", b"\xc3\xa9", b"E"]
root = sys.argv[1].encode()
for d in [b"", b"/sub", b"/sub/d\xe9", b"/sub/ok\xc3\xa9"]:
    os.makedirs(root + d, exist_ok=True)
    for i, n in enumerate(names):
        fd = os.open(root + d + b"/" + n, os.O_CREAT | os.O_WRONLY)
        os.ftruncate(fd, i * 123457 * (i + 1))
        os.close(fd)
EOF
elif [ -z "$tree" ]; then
  tree="$work/tree"
  python3 "$root/../shared/tools/gentree.py" "$tree" --files 18000 --seed 2 >/dev/null 2>&1 ||
    python3 /work/shared/tools/gentree.py "$tree" --files 18000 --seed 2 >/dev/null
else
  full=${ALL:-0}
fi
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
all=(--set IsHiddenFiles=1 --set IsSystemFiles=1)

# The lines that carry the clock, the disk's fill and the elapsed time.
mask() {
  sed -E -e 's/(:: Dirka [^;]*; [^;]*); [0-9]{1,2}:[0-9]{2}:[0-9]{2}/\1; TIME/' \
    -e 's/:: Drive: .*/:: Drive: MASKED/' -e 's/   Time: [0-9.,]+ s//'
}

# prints the outputs of one binary for one style: label, binary, locale, arguments...
run() {
  local dir=$1 binary=$2 locale=$3
  shift 3
  mkdir -p "$dir"
  env LC_ALL="$locale" "$binary" --list "$tree" "${all[@]}" "$@" --output "$dir/a.txt" \
    --html "$dir/a.html" --m3u8 "$dir/a.m3u8" >"$dir/stdout" 2>"$dir/stderr" || echo "exit $?" >>"$dir/stderr"
  env LC_ALL="$locale" "$binary" --list "$tree" "${all[@]}" "$@" --output "$dir/a16.txt" \
    --encoding utf16 >"$dir/stdout2" 2>>"$dir/stderr" || echo "exit $?" >>"$dir/stderr"
  # And once with no file requested: the printing path then differs from the one with files.
  env LC_ALL="$locale" "$binary" --list "$tree" "${all[@]}" "$@" >"$dir/stdout3" 2>>"$dir/stderr" ||
    echo "exit $?" >>"$dir/stderr"
  iconv -f UTF-16LE -t UTF-8 "$dir/a16.txt" >"$dir/a16.utf8" 2>/dev/null || cp "$dir/a16.txt" "$dir/a16.utf8"
  for f in stdout stdout2 stdout3 a.txt a16.utf8 a.html; do
    mask <"$dir/$f" >"$dir/$f.masked"
  done
}

compared=0
failed=0
compare() {
  local label=$1 locale=$2
  shift 2
  run "$work/old" "$old" "$locale" "$@"
  run "$work/new" "$new" "$locale" "$@"
  local f differs=""
  for f in stdout.masked stdout2.masked stdout3.masked a.txt.masked a16.utf8.masked a.html.masked a.m3u8 stderr; do
    cmp -s "$work/old/$f" "$work/new/$f" || differs+=" $f"
  done
  # Header off: the raw bytes, unmasked, must agree too.
  if [[ " $* " == *" S.IsHeader=0 "* ]]; then
    for f in stdout stdout3 a.txt a16.txt a.html; do
      cmp -s "$work/old/$f" "$work/new/$f" || differs+=" $f(raw)"
    done
  fi
  compared=$((compared + 1))
  if [ -n "$differs" ]; then
    failed=$((failed + 1))
    echo "DIFFERENT $label ($locale):$differs"
  else
    echo "same      $label ($locale): $(wc -l <"$work/new/stdout") lines"
  fi
  rm -rf "$work/old" "$work/new"
}

path_size=(--set S.Preset=10 --set S.Mode=0 --set S.Base=0 --set S.Folder=0 --set S.File=11
  --set S.IsSummary=0 --set S.IsNewLine=0 --set S.SortMode=1)
if [ "$full" = 0 ]; then
  compare "preset 6, header off" C.UTF-8 --set S.Preset=6 --set S.IsHeader=0
  compare "path + size, header off" C.UTF-8 "${path_size[@]}" --set S.IsHeader=0
else
  for preset in 0 1 2 3 4 5 6 7 8 9; do
    for header in 0 1; do
      compare "preset $preset, header $header" C.UTF-8 --set S.Preset=$preset --set S.IsHeader=$header
    done
  done
  for locale in en_US.UTF-8 pl_PL.UTF-8 de_DE.UTF-8; do
    for preset in 0 5 6; do
      compare "preset $preset, header 1" "$locale" --set S.Preset=$preset --set S.IsHeader=1
    done
  done
  # Every file code in list and tree mode, every deterministic order, with summaries.
  for locale in C.UTF-8 en_US.UTF-8 pl_PL.UTF-8; do
    for code in 1 2 3 4 5 6 7 8 9 10 11 12; do
      for sort in 0 1 2 3 4; do
        mode=$(((code + sort) % 2))
        compare "file code $code, order $sort, mode $mode" "$locale" --set S.Preset=10 \
          --set S.Mode=$mode --set S.Base=$(((code % 10) + 1)) --set S.Folder=$(((code + 3) % 11)) \
          --set S.File=$code --set S.SortMode=$sort --set S.IsSummary=$((sort % 2)) \
          --set S.IndentMode=$((code % 3)) --set S.Separator=$((sort % 2)) --set S.IsHeader=0
      done
    done
  done
fi
echo "$compared runs compared, $failed different"
[ "$failed" = 0 ]
