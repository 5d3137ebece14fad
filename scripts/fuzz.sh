#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for a
# bounded time, starting from its committed seed corpus. Fails on the first
# finding (crash, sanitizer report, leak, timeout or memory blow-up); the input
# that caused it is left in build-fuzz/findings/.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target names...]
# FUZZ_FLAGS adds libFuzzer flags to every run (for instance -max_len=256).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
shift || true
scripts/install-deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELM_FUZZ=ON -DKELM_BUILD_TESTS=OFF -DKELM_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name#fuzz_}")
  done
fi

mkdir -p build-fuzz/findings build-fuzz/logs
total=0
for t in "${targets[@]}"; do
  bin=build-fuzz/tests/fuzz/fuzz_$t
  work=build-fuzz/corpus/$t
  mkdir -p "$work"
  seeds=tests/fuzz/corpus/$t
  [ -d "$seeds" ] || seeds=""
  log=build-fuzz/logs/$t.log
  echo "== fuzz $t for ${secs}s"
  # The new inputs go to a corpus of the build; the committed seeds are only read.
  # shellcheck disable=SC2086
  if ! "$bin" -max_total_time="$secs" -timeout=60 -rss_limit_mb=2560 -print_final_stats=1 ${FUZZ_FLAGS:-} \
      -artifact_prefix="build-fuzz/findings/$t-" "$work" $seeds >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $t found a fault; input in build-fuzz/findings/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "   $t: ${runs:-?} executions"
  total=$((total + ${runs:-0}))
done
echo "== fuzzing done: $total executions, no finding"
