#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the whole test suite twice:
# a normal optimised build and an AddressSanitizer + UBSan build. Then a
# ThreadSanitizer build of only the threaded engine host tests (with
# "Brevado" and the bundle they load) runs those tests.
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

echo "== thread sanitizer: set-ups, blocks and parameter reads on their own threads"
SX_BUILD_TARGETS=enginehost_EngineHostAudioThread_test \
  bash scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSX_TSAN=ON -DSX_BENCH=OFF
# GCC's ThreadSanitizer cannot always place its shadow memory under the
# kernel's address randomisation: run without it where the kernel allows.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
TSAN_OPTIONS=halt_on_error=1 "${norandom[@]}" \
  build-tsan/tests/enginehost/enginehost_EngineHostAudioThread_test
echo "== all tests passed"
