#!/usr/bin/env bash
# Cross-builds kelm.exe, kelm-dump.exe and the Windows test programs with
# mingw-w64, runs the tests under Wine, and checks that kelm.exe writes the
# same dictionary as the Linux build, byte for byte, for the samples in
# examples/ — under their own names and under a Japanese file name — and that
# kelm-dump.exe checks it and writes the same text as the Linux kelm-dump.
# Last, the Windows archive (cpack -G ZIP) must hold both programs, README.md
# and LICENSE.
# Usage: scripts/windows-test.sh [Windows build directory] [Linux build directory]
# Works headless (no display, no terminal, no standard input), as root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
step() { echo "== $* (at $((SECONDS - start)) s)"; }

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 googletest

win=${1:-build-win}
linux=${2:-build}
jobs=2

# Wine turns the Unix command line into UTF-16 by the locale: it must be UTF-8
# for Japanese names to arrive. A private prefix under the build directory,
# no debug chatter, no display, no offer to install Mono or Gecko.
export LC_ALL=C.UTF-8
export WINEPREFIX=$root/$win/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

step "cross build ($win)"
cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DKELM_WERROR=ON -DKELM_BUILD_BENCH=OFF >/dev/null
cmake --build "$win" -j"$jobs"

for exe in kelm.exe kelm-dump.exe; do
  step "$exe imports system DLLs only"
  imports=$(x86_64-w64-mingw32-objdump -p "$win/$exe" | sed -n 's/^\s*DLL Name: //p')
  echo "$imports" | sed 's/^/   /'
  if echo "$imports" | grep -viqE '^(kernel32|msvcrt|advapi32|user32|shell32|ucrtbase|api-ms-win-.*)\.dll$'; then
    echo "$exe needs a DLL that Windows does not have" >&2
    exit 1
  fi
done

step "Wine prefix"
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 "$WINE" wineboot --init </dev/null >/dev/null 2>&1
fi
# One server for the whole run: started afresh for every program, Wine spends
# seconds on its services each time.
timeout 60 "$WINESERVER" -w || "$WINESERVER" -k || true
"$WINESERVER" -p </dev/null >/dev/null 2>&1
trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
timeout 300 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

step "tests under Wine"
# A Wine process now and then fails to start on a loaded machine: a test that
# fails is run once more, and fails the run only when it fails again.
ctest --test-dir "$win" --output-on-failure -j"$jobs" --repeat until-pass:2 </dev/null

step "Linux build of kelm and kelm-dump ($linux)"
cmake -S . -B "$linux" -DKELM_WERROR=ON >/dev/null
cmake --build "$linux" -j"$jobs" --target kelm kelm-dump

step "the same dictionaries from both builds"
# 表示ソフト用辞書: two of its characters end in the byte of "\" in Shift_JIS.
japanese="表示ソフト用辞書"
work=$root/$win/same-dictionary
wine_temp=$WINEPREFIX/drive_c/users/$(id -un)/Temp
rm -rf "$work"
mkdir -p "$work/linux-temp"
rm -f "$wine_temp"/kelm_*
failed=0
compared=0
for sample in examples/*.txt examples/*.TXT; do
  [ -f "$sample" ] || continue
  base=$(basename "$sample")
  for name in "$base" "$japanese-${base%.*}.txt"; do
    out="${name%.*}.dic"
    mkdir -p "$work/linux" "$work/windows"
    cp "$sample" "$work/linux/$name"
    cp "$sample" "$work/windows/$name"
    linux_rc=0 wine_rc=0
    (cd "$work/linux" && SOURCE_DATE_EPOCH=1700000000 TEMP="$work/linux-temp" \
      "$root/$linux/kelm" "$name" "$out" >../linux.out </dev/null) || linux_rc=$?
    (cd "$work/windows" && SOURCE_DATE_EPOCH=1700000000 \
      "$WINE" "$root/$win/kelm.exe" "$name" "$out" >../windows.out </dev/null) || wine_rc=$?
    if [ "$linux_rc" -ne 0 ] || [ "$wine_rc" -ne 0 ]; then
      echo "FAIL $name: results $linux_rc (Linux), $wine_rc (Windows)"
      failed=1
    elif [ ! -f "$work/windows/$out" ]; then
      echo "FAIL $name: kelm.exe wrote no file named $out"
      ls "$work/windows"
      failed=1
    elif ! cmp "$work/linux/$out" "$work/windows/$out"; then
      echo "FAIL $name: the dictionaries differ"
      failed=1
    elif ! cmp "$work/linux.out" "$work/windows.out"; then
      echo "FAIL $name: the console output differs"
      diff "$work/linux.out" "$work/windows.out" | head -20 || true
      failed=1
    elif ! (cd "$work/windows" && "$WINE" "$root/$win/kelm-dump.exe" --check "$out" \
        >../windows.check </dev/null); then
      echo "FAIL $name: kelm-dump.exe --check rejects $out"
      cat "$work/windows.check"
      failed=1
    elif ! "$root/$linux/kelm-dump" "$work/linux/$out" >"$work/linux.dump" ||
        ! (cd "$work/windows" && "$WINE" "$root/$win/kelm-dump.exe" "$out" \
        >../windows.dump </dev/null); then
      echo "FAIL $name: a dump failed"
      failed=1
    elif ! cmp "$work/linux.dump" "$work/windows.dump"; then
      echo "FAIL $name: kelm-dump.exe writes another text than kelm-dump"
      failed=1
    else
      echo "ok   $name -> $out ($(stat -c %s "$work/windows/$out") bytes, identical;" \
        "dumps identical, $(stat -c %s "$work/windows.dump") bytes)"
      compared=$((compared + 1))
    fi
    rm -rf "$work/linux" "$work/windows"
  done
done
for t in "$wine_temp" "$work/linux-temp"; do
  if ls "$t" 2>/dev/null | grep -q '^kelm_'; then
    echo "FAIL temporary files left behind in $t:"
    ls "$t" | grep '^kelm_'
    failed=1
  fi
done
if [ "$compared" -eq 0 ] && [ "$failed" -eq 0 ]; then
  echo "FAIL no sample in examples/ to convert"
  failed=1
fi

step "the Windows archive (cpack -G ZIP)"
rm -f "$win"/kelm-*.zip
(cd "$win" && cpack -G ZIP >/dev/null)
zip=$(ls "$win"/kelm-*-win64.zip)
listing=$(cmake -E tar tf "$zip")
echo "$listing" | sed 's/^/   /'
for f in kelm.exe kelm-dump.exe README.md LICENSE; do
  if ! echo "$listing" | grep -q "/$f\$"; then
    echo "FAIL $zip lacks $f"
    failed=1
  fi
done
echo "== windows-test: $compared conversions identical, $((SECONDS - start)) s"
exit "$failed"
