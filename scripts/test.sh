#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds everything, runs every test, then runs
# the detection tests again under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
scripts/setup-debian.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

# Detection runs worker threads: check them for data races.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLT_BUILD_BENCHMARKS=OFF -DZOLT_BUILD_TOOLS=OFF)
cmake -S . -B build-tsan "${sanitizer_flags[@]}" \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target test_detection
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$jobs" -L detection --output-on-failure
