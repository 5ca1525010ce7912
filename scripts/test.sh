#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the whole test suite twice:
# a normal optimised build and an AddressSanitizer + UBSan build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== normal build"
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== sanitizer build"
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DSX_SANITIZE=ON -DSX_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
(cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 900)
echo "== all tests passed"
