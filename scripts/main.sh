#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the example host on the bundled
# sample captures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZOLT_BUILD_TESTS=OFF -DZOLT_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)"

build/examples/zolt-correlate-pair examples/captures/capture-01.png examples/captures/capture-02.png
