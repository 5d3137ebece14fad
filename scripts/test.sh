#!/usr/bin/env bash
# Installs what is missing, builds kelm with warnings as errors, and runs every
# test. Usage: scripts/test.sh [build directory] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DKELM_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
