#!/usr/bin/env bash
# Configures and builds the native tree (tests, tools, emulator) and both Windows trees.
# With --demo, only what ./run-demo.sh runs: the writer emulator and the x86_64
# programs it starts.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
arches=(x86_64 i686)
native_targets=()
win_targets=()
if [ "${1:-}" = --demo ]; then
  arches=(x86_64)
  native_targets=(--target writer_emulator)
  win_targets=(--target Pyrograph pyrocmd Ravelin32 uidriver optdump_samples)
fi
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/native -j"$jobs" "${native_targets[@]}"
for arch in "${arches[@]}"; do
  # A tree configured with another compiler than the toolchain names now
  # cannot be reconfigured in place.
  want=$(sed -n 's/^set(CMAKE_CXX_COMPILER \(.*\))$/\1/p' cmake/mingw-$arch.cmake)
  if [ -f build/win-$arch/CMakeCache.txt ] &&
     ! grep -qs "set(CMAKE_CXX_COMPILER \".*/$want\")" build/win-$arch/CMakeFiles/*/CMakeCXXCompiler.cmake; then
    rm -rf "build/win-$arch/CMakeCache.txt" "build/win-$arch/CMakeFiles"
  fi
  cmake -S . -B build/win-$arch -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake >/dev/null
  cmake --build build/win-$arch -j"$jobs" "${win_targets[@]}"
done
