#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
#   ./test.sh [--sanitize] [ctest options]
# --sanitize builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/.
root=$(cd "$(dirname "$0")" && pwd)
build="$root/build"
if [ "${1:-}" = "--sanitize" ]; then
  shift
  export DIRKA_SANITIZE=1
  build="$root/build-sanitize"
  # Qt keeps some allocations for the whole run; leaks are not what this run looks for.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
"$root/scripts/setup.sh"
"$root/scripts/check_format.sh"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
