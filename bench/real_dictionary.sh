#!/usr/bin/env bash
# Makes a realistic kelm input of exactly N entries from Debian's dictionary
# packages (SKK-JISYO.L, EDICT, FreeDict Japanese-English, GCIDE, the Jargon
# File): each is converted once to one-line UTF-8 text, then copies of them are
# merged, about a quarter of the entries repeating a headword, and shuffled
# with a fixed seed, so the same N and seed always give the same file.
#
#   bench/real_dictionary.sh N [output [seed]]
#
# Installs the packages when missing. The converted dictionaries are kept in
# $KELM_BENCH_DIR/real (default /tmp/kelm-bench/real). Without an output the
# file is $KELM_BENCH_DIR/real<N>.utf8.txt (real<N>-s<seed>.utf8.txt for a
# seed other than 1), made again only when missing or older than the
# converter. Prints the output's path; what the conversion met is kept in
# real/convert.txt, and what the merge made in <output>.log.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: bench/real_dictionary.sh N [output [seed]]" >&2; exit 2; }
n=$1
seed=${3:-1}
data=$(realpath -m "${KELM_BENCH_DIR:-/tmp/kelm-bench}")
[ $# -lt 2 ] || set -- "$1" "$(realpath -m "$2")"
cd "$(dirname "$0")/.."
if [ $# -ge 2 ]; then
  out=$2
  rm -f "$out"
elif [ "$seed" = 1 ]; then
  out=$data/real$n.utf8.txt
else
  out=$data/real$n-s$seed.utf8.txt
fi
tool=$PWD/bench/real_dictionary.py

src=$data/real
if [ ! -s "$src/convert.txt" ] || [ "$tool" -nt "$src/convert.txt" ]; then
  scripts/install-deps.sh skkdic edict dict-freedict-jpn-eng dict-gcide dict-jargon >&2
  mkdir -p "$src"
  python3 "$tool" convert "$src" >"$src/convert.txt.part"
  mv "$src/convert.txt.part" "$src/convert.txt"
  cat "$src/convert.txt" >&2
fi
if [ ! -s "$out" ] || [ "$tool" -nt "$out" ] || [ "$src/convert.txt" -nt "$out" ]; then
  python3 "$tool" merge "$src" "$n" "$seed" >"$out.part" 2>"$out.log"
  mv "$out.part" "$out"
  cat "$out.log" >&2
fi
echo "$out"
