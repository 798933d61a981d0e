#!/usr/bin/env bash
# Configures and builds the native tree (tests, tools, emulator) and both Windows trees.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/native -j"$jobs"
for arch in x86_64 i686; do
  cmake -S . -B build/win-$arch -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake >/dev/null
  cmake --build build/win-$arch -j"$jobs"
done
