#!/usr/bin/env bash
# The main job: installs what is missing, builds the command-line stitcher and stitches the
# bundled sample captures into one image. Safe to run again: it rebuilds only what changed and
# replaces the stitched image.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zolt-stitch

output=build/stitched-samples.png
build/tools/zolt-stitch examples/captures -o "$output"
echo "Stitched image: $(realpath "$output")"
