#!/usr/bin/env bash
# Times kelm end to end on dictionaries of two kinds, beside `LC_ALL=C sort -S 64M`
# and `cp` of the same file, as whole processes in one run: the three run in
# turn (the order reversed every other time), medians of 5 runs each, peak
# resident memory from /usr/bin/time, the ratios run by run, and the peak
# bytes kelm holds in its temporary directory.
#
#   bench/scale.sh [-r runs] [-k "gen real"] [-e "utf8 sjis"] [size ...]   (sizes in entries)
#
# Kinds: gen, made by bench/make_dictionary.cpp; real, made from Debian's
# dictionary packages by bench/real_dictionary.sh (UTF-8 only: its text has
# characters that Shift_JIS lacks); same, one headword N times, and distinct,
# N headwords in a shuffled order with the same translations (-k "same
# distinct" 1000000 compares the two). Environment: KELM (the binary; default: a
# Release build in build-release, made when missing), KELM_BENCH_DIR (inputs
# and outputs; default /tmp/kelm-bench). The inputs are made once and kept; the
# Shift_JIS copy comes from iconv. Every run reads its input from the page
# cache (each command runs once before it is timed). The temporary directory's
# size is polled every 20 ms during one more run of kelm, not timed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
kinds="gen real"
encodings="utf8"
while getopts "r:k:e:" opt; do
  case $opt in
    r) runs=$OPTARG ;;
    k) kinds=$OPTARG ;;
    e) encodings=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 500000 2000000)

scripts/install-deps.sh time
data=${KELM_BENCH_DIR:-/tmp/kelm-bench}
mkdir -p "$data/tmp"

if [ -z "${KELM:-}" ]; then
  KELM=$PWD/build-release/kelm
  cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKELM_BUILD_TESTS=OFF \
    -DKELM_BUILD_BENCH=OFF >/dev/null
  cmake --build build-release -j2 --target kelm >/dev/null
fi
if [ ! -x "$data/make_dictionary" ] || [ bench/make_dictionary.cpp -nt "$data/make_dictionary" ]; then
  c++ -O2 -std=c++20 -o "$data/make_dictionary" bench/make_dictionary.cpp
fi

input_for() {  # size kind encoding -> path of the input, made when missing
  if [ "$2" = real ]; then
    KELM_BENCH_DIR=$data bench/real_dictionary.sh "$1"
    return
  fi
  if [ "$2" = same ] || [ "$2" = distinct ]; then
    local path="$data/$2$1.txt"
    [ -s "$path" ] || awk -v n="$1" -v k="$2" 'BEGIN {
      for (i = 0; i < n; ++i) {
        if (k == "same") printf "same /// translation %d\n", i
        else printf "w%07d /// translation %d\n", (i * 7919) % n, i
      } }' >"$path"
    echo "$path"
    return
  fi
  local utf8="$data/dict$1.utf8.txt"
  [ -s "$utf8" ] || "$data/make_dictionary" "$1" >"$utf8"
  if [ "$3" = sjis ]; then
    local sjis="$data/dict$1.sjis.txt"
    [ -s "$sjis" ] || iconv -f UTF-8 -t CP932 "$utf8" >"$sjis"
    echo "$sjis"
  else
    echo "$utf8"
  fi
}

# Runs a command once, timed; prints "seconds KiB": its elapsed time by the
# shell's clock to the microsecond (/usr/bin/time counts in hundredths, too
# coarse for a copy that takes a few of them) and its peak resident memory.
time_once() {
  local start end line
  start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$data/time.out" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  end=$EPOCHREALTIME
  read -r line <"$data/time.out"
  awk -v a="$start" -v b="$end" -v m="$line" 'BEGIN {printf "%.4f %s\n", b - a, m}'
}

median() { sort -g | sed -n "$(((runs + 1) / 2))p"; }

# Runs kelm once more with an empty temporary directory and prints the most
# bytes that directory held, from its size polled every 20 ms while kelm runs.
peak_temp() {  # input
  local dir="$data/tmp" peak=0 empty b pid
  rm -rf "$dir" && mkdir -p "$dir"
  read -r empty _ < <(du -sb "$dir")
  TEMP="$dir" "$KELM" "$1" "$data/out.dic" >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    read -r b _ < <(du -sb "$dir" 2>/dev/null || echo 0)
    [ "$b" -le "$peak" ] || peak=$b
    sleep 0.02
  done
  wait "$pid" || { echo "failed: $KELM $1" >&2; return 1; }
  echo $((peak > empty ? peak - empty : 0))
}


echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)," \
  "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs each"
printf '%-9s %-4s %-5s %8s %8s %8s %8s %8s %8s %8s %9s %10s %8s\n' entries kind enc MB \
  kelm_s kelm_MiB temp_MB sort_s sort_MiB cp_s kelm/sort kelm/cp ns/entry
for n in "${sizes[@]}"; do
  for kind in $kinds; do
    for enc in $encodings; do
      [ "$kind" = gen ] || [ "$enc" = utf8 ] || continue  # the others are ASCII or UTF-8
      in=$(input_for "$n" "$kind" "$enc")
      mb=$(awk -v b="$(stat -c %s "$in")" 'BEGIN {printf "%.1f", b / 1e6}')
      kelm_cmd=(env TEMP="$data/tmp" "$KELM" "$in" "$data/out.dic")
      sort_cmd=(env LC_ALL=C TMPDIR="$data/tmp" sort -S 64M "$in" -o "$data/sorted.txt")
      cp_cmd=(cp "$in" "$data/copy.txt")
      # One untimed run each, then the three in turn, the order reversed
      # every other time; the ratios are taken run by run.
      time_once "${kelm_cmd[@]}" >/dev/null && time_once "${sort_cmd[@]}" >/dev/null &&
        time_once "${cp_cmd[@]}" >/dev/null
      kt=() km=() st=() sm=() ct=()
      for ((k = 0; k < runs; ++k)); do
        order="kelm sort cp"
        [ $((k % 2)) -eq 0 ] || order="cp sort kelm"
        for c in $order; do
          case $c in
            kelm) read -r t m < <(time_once "${kelm_cmd[@]}"); kt+=("$t"); km+=("$m") ;;
            sort) read -r t m < <(time_once "${sort_cmd[@]}"); st+=("$t"); sm+=("$m") ;;
            cp) read -r t _ < <(time_once "${cp_cmd[@]}"); ct+=("$t") ;;
          esac
        done
      done
      ks=$(printf '%s\n' "${kt[@]}" | median)
      km=$(printf '%s\n' "${km[@]}" | median)
      ss=$(printf '%s\n' "${st[@]}" | median)
      sm=$(printf '%s\n' "${sm[@]}" | median)
      cs=$(printf '%s\n' "${ct[@]}" | median)
      rs=$(for ((k = 0; k < runs; ++k)); do awk -v a="${kt[k]}" -v b="${st[k]}" 'BEGIN {print a / b}'; done | median)
      rc=$(for ((k = 0; k < runs; ++k)); do awk -v a="${kt[k]}" -v b="${ct[k]}" 'BEGIN {print (b > 0 ? a / b : 0)}'; done | median)
      tb=$(peak_temp "$in")
      awk -v n="$n" -v k="$kind" -v e="$enc" -v mb="$mb" -v ks="$ks" -v km="$km" -v tb="$tb" \
        -v ss="$ss" -v sm="$sm" -v cs="$cs" -v rs="$rs" -v rc="$rc" 'BEGIN {
          printf "%-9s %-4s %-5s %8s %8.3f %8.1f %8.1f %8.3f %8.1f %8.3f %9.2f %10.1f %8.0f\n",
            n, k, e, mb, ks, km / 1024, tb / 1e6, ss, sm / 1024, cs, rs, rc, ks * 1e9 / n }'
    done
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$data/out.dic" "$data/sorted.txt" "$data/copy.txt" "$data/time.out"
