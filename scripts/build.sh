#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configures (once) and builds
# everything, or only the targets named in SX_BUILD_TARGETS (space-separated).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
targets=()
for t in ${SX_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$jobs" "${targets[@]}"
