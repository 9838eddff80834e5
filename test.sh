#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
#   ./test.sh [--sanitize | --tsan] [ctest options]
# --sanitize builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/;
# --tsan builds the walk's tests with ThreadSanitizer into build-tsan/ and runs them with the
# folders read ahead from the start.
root=$(cd "$(dirname "$0")" && pwd)
build="$root/build"
filter=()
if [ "${1:-}" = "--tsan" ]; then
  shift
  export DIRKA_TSAN=1 DIRKA_READ_AHEAD=1
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
  build="$root/build-tsan"
  filter=(-R '^(tst_folder_walker|tst_file_system|tst_listing_run)$')
elif [ "${1:-}" = "--sanitize" ]; then
  shift
  export DIRKA_SANITIZE=1
  build="$root/build-sanitize"
  # Qt keeps some allocations for the whole run; leaks are not what this run looks for.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
"$root/scripts/setup.sh"
"$root/scripts/check_format.sh"
"$root/scripts/check_layers.sh"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "${filter[@]}" "$@"
