#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds everything and runs every test; then
# runs the suite again under AddressSanitizer with UndefinedBehaviorSanitizer (leaks included) and
# the detection tests under ThreadSanitizer. The Python package's tests (label python) run with
# Debian's python3, the one that has NumPy. The capture tests (label capture) start their own
# Xvfb on a free display and Chromium in it, and stop both.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
scripts/setup-debian.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZOLT_BUILD_TESTS=ON -DZOLT_BUILD_BENCHMARKS=ON -DZOLT_BUILD_TOOLS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --no-tests=error

sanitizer_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLT_BUILD_BENCHMARKS=OFF)

# Memory errors, undefined behaviour and leaks anywhere in the library, its tools and tests. The
# install test builds an uninstrumented host, so it runs only in the plain build above.
asan=(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
cmake -S . -B build-asan "${sanitizer_flags[@]}" \
  -DCMAKE_CXX_FLAGS="${asan[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${asan[*]}" \
  -DCMAKE_SHARED_LINKER_FLAGS="${asan[*]}" >/dev/null
cmake --build build-asan -j"$jobs"
# Allocations that cannot be served come back as null, as from the system allocator, so the
# library's handling of them is what gets tested.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1" UBSAN_OPTIONS="print_stacktrace=1" \
  ctest --test-dir build-asan -j"$jobs" -LE "install|python" --output-on-failure --no-tests=error
# The Python package's instrumented module runs inside the uninstrumented interpreter, so the
# sanitizer runtime is loaded first, and the C++ runtime with it (so that exceptions thrown in the
# module are intercepted); the leak check stays off there, as it would report what the
# interpreter itself keeps until exit.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" \
  UBSAN_OPTIONS="print_stacktrace=1" ctest --test-dir build-asan -L python --output-on-failure --no-tests=error

# Detection runs worker threads: check them for data races.
cmake -S . -B build-tsan "${sanitizer_flags[@]}" -DZOLT_BUILD_TOOLS=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target test_detection
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$jobs" -L detection --output-on-failure --no-tests=error
