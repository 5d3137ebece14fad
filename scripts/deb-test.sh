#!/usr/bin/env bash
# Builds the .deb with CPack in a build directory, extracts it, and runs the
# packaged kelm and kelm-dump: kelm converts a sample, kelm-dump checks the
# dictionary and its text gives the same dictionary back.
# Usage: scripts/deb-test.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
scripts/install-deps.sh
cmake -S . -B "$dir" -DKELM_WERROR=ON >/dev/null
cmake --build "$dir" -j2 --target kelm kelm-dump
(cd "$dir" && rm -f kelm_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/kelm_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\):/   \1:/p'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
for f in usr/bin/kelm usr/bin/kelm-dump usr/share/man/man1/kelm.1 usr/share/man/man1/kelm-dump.1 \
    usr/share/doc/kelm/README.md usr/share/doc/kelm/LICENSE; do
  [ -f "$work/root/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
done
"$bin/kelm-dump" --version
export SOURCE_DATE_EPOCH=1700000000 TEMP=$work
"$bin/kelm" examples/sample-utf8.txt "$work/a.dic" >/dev/null
"$bin/kelm-dump" --check "$work/a.dic"
"$bin/kelm-dump" "$work/a.dic" >"$work/a.txt"
"$bin/kelm" "$work/a.txt" "$work/b.dic" >/dev/null
cmp "$work/a.dic" "$work/b.dic"
echo "== the packaged programs run: kelm-dump's text gives kelm the same dictionary"
