#!/usr/bin/env bash
# Times reading and converting a large text file line by line (the byte reader
# and the conversion to UTF-16, as the sorter uses them) beside iconv converting
# the same file to UTF-16LE, whole processes, for Shift_JIS, EUC-JP and UTF-8.
#
#   bench/textin.sh [build directory] [megabytes] [runs]
#
# Defaults: build, 100, 3. The texts are made once, deterministically, under
# BUILD/bench-textin (never in the source tree). Prints the median time of each
# side and the ratio ours / iconv (below 1: ours is faster).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
megabytes=${2:-100}
runs=${3:-3}
bin=$build/bench/bench_textin
[ -x "$bin" ] || { echo "no $bin: build the benchmarks first (cmake --build $build --target bench_textin)" >&2; exit 1; }
data=$build/bench-textin
mkdir -p "$data"

# One UTF-8 text per size in bytes of the target encoding: every character
# outside ASCII takes 3 bytes in UTF-8, 2 in Shift_JIS and EUC-JP.
make_texts() {
  local utf8=$data/text-$megabytes.utf8 sjis=$data/text-$megabytes.sjis euc=$data/text-$megabytes.euc
  if [ ! -s "$utf8" ]; then
    "$bin" make-text "$megabytes" 3 "$utf8.tmp" && mv "$utf8.tmp" "$utf8"
  fi
  if [ ! -s "$sjis" ] || [ ! -s "$euc" ]; then
    "$bin" make-text "$megabytes" 2 "$data/two-byte.utf8"
    iconv -f UTF-8 -t CP932 "$data/two-byte.utf8" > "$sjis.tmp" && mv "$sjis.tmp" "$sjis"
    iconv -f UTF-8 -t EUC-JP "$data/two-byte.utf8" > "$euc.tmp" && mv "$euc.tmp" "$euc"
    rm -f "$data/two-byte.utf8"
  fi
}

# Milliseconds a command takes, its output thrown away.
elapsed_ms() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

make_texts
printf '%-10s %10s %12s %12s %8s\n' encoding "file MB" "ours ms" "iconv ms" ratio
for pair in "sjis CP932" "euc EUC-JP" "utf8 UTF-8"; do
  set -- $pair
  file=$data/text-$megabytes.$1
  # The two sides take turns, so that a change in the machine's load hits both.
  ours=() theirs=()
  "$bin" convert "$1" "$file" > /dev/null  # warm the page cache
  for ((run = 0; run < runs; run++)); do
    ours+=("$(elapsed_ms "$bin" convert "$1" "$file")")
    theirs+=("$(elapsed_ms iconv -f "$2" -t UTF-16LE "$file")")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  t=$(printf '%s\n' "${theirs[@]}" | median)
  size=$(($(stat -c %s "$file") / 1000000))
  printf '%-10s %10s %12s %12s %8s\n' "$1" "$size" "$o" "$t" "$(awk -v o="$o" -v t="$t" 'BEGIN { printf "%.2f", o / t }')"
done
