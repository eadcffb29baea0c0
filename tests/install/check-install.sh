#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds the outside host against it, with the
# CMake package and with pkg-config, then runs both programs.
set -euo pipefail
build_dir=$1
host_dir=$2
work=$3

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

test -f "$prefix/include/ZOLT/Stitching.h"
soname=$(objdump -p "$prefix/lib/libZOLT.Stitching.so" | awk '/SONAME/ {print $2}')
[[ $soname =~ ^libZOLT\.Stitching\.so\.[0-9]+$ ]] || { echo "unexpected SONAME '$soname'"; exit 1; }

echo "== find_package(ZOLTStitching)"
cmake -S "$host_dir" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake-host" >/dev/null
"$work/cmake-host/zolt-host"

echo "== pkg-config zolt-stitching"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ -std=c++17 -o "$work/pkgconfig-host" "$host_dir/main.cpp" $(pkg-config --cflags --libs zolt-stitching)
LD_LIBRARY_PATH=$prefix/lib "$work/pkgconfig-host"
