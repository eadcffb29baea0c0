#!/usr/bin/env bash
# The main job: installs what is missing, builds the command-line stitcher and stitches the
# bundled sample captures into one image; builds the Python package zolt and installs it (with
# the library it loads) under /usr/local, where Debian's python3 finds it. Safe to run again: it
# rebuilds only what changed and replaces the stitched image and the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZOLT_BUILD_PYTHON=ON >/dev/null
cmake --build build -j"$(nproc)" --target zolt-stitch zolt-python
cmake --install build --component python >/dev/null

output=build/stitched-samples.png
build/tools/zolt-stitch examples/captures -o "$output"
echo "Stitched image: $(realpath "$output")"
echo "Python package: $(/usr/bin/python3 -c 'import zolt; print("zolt", zolt.__version__, "in", zolt.__path__[0])')"
