#!/usr/bin/env bash
# Builds the fuzz harnesses of tests/fuzz with clang 16, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/), then runs each for SECONDS seconds on a copy of
# its seed corpus, one after the other. Exits 1 on any finding, naming the harness and the
# input that found it (replay it with: build-fuzz/fuzz/fuzz_<harness> FILE).
#   bench/fuzz.sh SECONDS [HARNESS...]     (default: every harness)
set -euo pipefail
seconds=${1:?usage: bench/fuzz.sh SECONDS [HARNESS...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  for source in "$root"/tests/fuzz/fuzz_*.cpp; do
    name=${source##*/fuzz_}
    harnesses+=("${name%.cpp}")
  done
fi

# What configuring the project needs, plus clang 16 and its libFuzzer and sanitizer runtimes
# (clang 14 lacks std::source_location with Debian 12's libstdc++).
packages=(cmake ninja-build pkg-config qt6-base-dev libicu-dev libcanberra-dev python3
  clang-16 libclang-rt-16-dev)
"$root/scripts/install_packages.sh" "${packages[@]}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  nice -n 10 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-16 -DDIRKA_FUZZ=ON >/dev/null
fi
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
if ! log=$(nice -n 10 cmake --build "$build" -j2 --target "${targets[@]}" 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi

# Qt keeps some allocations for the whole process; they are not what this run looks for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if symbolizer=$(command -v llvm-symbolizer-16 || command -v llvm-symbolizer); then
  export ASAN_SYMBOLIZER_PATH="$symbolizer"
fi
failed=0
for h in "${harnesses[@]}"; do
  # The settings file gets long inputs and a tight time limit, so a parse that turns quadratic
  # (N values then N removals, a hex value continued over many lines) shows as a timeout.
  case "$h" in
    settings_store) options=(-max_len=200000 -timeout=2) ;;
    *) options=(-max_len=8192 -timeout=10) ;;
  esac
  work="$build/fuzz-run/$h"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp "$root/tests/fuzz/corpus/$h/"* "$work/corpus/"
  status=0
  nice -n 10 "$build/fuzz/fuzz_$h" "${options[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  finding=$(find "$work/findings" -type f | head -1)
  if [ "$status" -ne 0 ] || [ -n "$finding" ]; then
    echo "$h: FINDING ${finding:-(no input saved)}, exit $status; log: $work/log" >&2
    failed=1
  else
    echo "$h: ${runs:-?} runs in ${seconds} s, nothing found"
  fi
done
exit "$failed"
