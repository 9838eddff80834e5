#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it (.clang-format).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "check_format: not a git checkout; skipped" >&2
  exit 0
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/dirka-format.$$; then
  grep -E '^[^ ].*: error:' /tmp/dirka-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  echo "check_format: run clang-format -i on the files above" >&2
  rm -f /tmp/dirka-format.$$
  exit 1
fi
rm -f /tmp/dirka-format.$$
