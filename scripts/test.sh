#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds everything and runs every test; then
# runs the library's test programs again under AddressSanitizer with UndefinedBehaviorSanitizer
# (leaks included) and the detection tests under ThreadSanitizer. The Python package's tests
# (label python) run with Debian's python3, the one that has NumPy. The capture tests (label
# capture) start their own Xvfb on a free display and Chromium in it, and stop both.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
scripts/setup-debian.sh

# The benchmarks are left out: they measure and test nothing; a default configuration builds them.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZOLT_BUILD_TESTS=ON -DZOLT_BUILD_BENCHMARKS=OFF -DZOLT_BUILD_TOOLS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --no-tests=error

# The library under the sanitizers, through its own test programs (the tools, the Python package
# and the end-to-end series ran above; instrumented, they would take longer than all the rest).
# Optimised a little, so that the detection tests keep their pace.
sanitized=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 -DZOLT_BUILD_BENCHMARKS=OFF -DZOLT_BUILD_TOOLS=OFF
  -DZOLT_BUILD_PYTHON=OFF)
unit_labels="providers|detection|stitchers|borders|preview|utilities|page|capture-loop"
unit_targets=(test_providers test_detection test_stitchers test_borders test_preview test_utilities test_page
  test_capture_loop)

# Memory errors, undefined behaviour and leaks.
asan=(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
cmake -S . -B build-asan "${sanitized[@]}" \
  -DCMAKE_CXX_FLAGS="${asan[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${asan[*]}" \
  -DCMAKE_SHARED_LINKER_FLAGS="${asan[*]}" >/dev/null
cmake --build build-asan -j"$jobs" --target "${unit_targets[@]}"
# Allocations that cannot be served come back as null, as from the system allocator, so the
# library's handling of them is what gets tested.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1" UBSAN_OPTIONS="print_stacktrace=1" \
  ctest --test-dir build-asan -j"$jobs" -L "$unit_labels" --output-on-failure --no-tests=error

# Detection runs worker threads: check them for data races.
cmake -S . -B build-tsan "${sanitized[@]}" \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target test_detection
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$jobs" -L detection --output-on-failure --no-tests=error
