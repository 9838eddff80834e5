#!/usr/bin/env bash
# Fails when a source file includes from a folder above its own: the core's folders and the
# window's folders each depend one way, lowest first as listed below (the README's map).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
core=(text system settings listing output)
gui=(widgets desktop result_view print dialogs export error_report main_window)
status=0
# check PREFIX FOLDER...: files of each folder may include only from it and folders before it.
check() {
  local prefix=$1
  shift
  local folders=("$@") rank=0
  for folder in "${folders[@]}"; do
    local above=("${folders[@]:rank+1}")
    rank=$((rank + 1))
    [ ${#above[@]} -gt 0 ] || continue
    local pattern
    pattern="#include \"$prefix/($(IFS='|'; echo "${above[*]}"))/"
    if grep -rnE "$pattern" "$root/src/$prefix/$folder" >/tmp/dirka-layers.$$; then
      sed "s|^$root/||; s|\$|  (includes from a folder above src/$prefix/$folder)|" /tmp/dirka-layers.$$ >&2
      status=1
    fi
  done
  rm -f /tmp/dirka-layers.$$
}
check core "${core[@]}"
check gui "${gui[@]}"
[ $status -eq 0 ] || echo "check_layers: a lower folder includes from a higher one" >&2
exit $status
