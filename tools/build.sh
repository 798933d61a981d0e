#!/usr/bin/env bash
# Configures and builds the native tree (tests, tools, emulator) and both Windows
# trees, from the presets in CMakePresets.json. With --demo, only what
# ./run-demo.sh runs: the writer emulator and the x86_64 programs it starts.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${PYRO_JOBS:-$(nproc)}
presets=(native win-x86_64 win-i686)
native_targets=()
win_targets=()
if [ "${1:-}" = --demo ]; then
  presets=(native win-x86_64)
  native_targets=(--target writer_emulator)
  win_targets=(--target Pyrograph pyrocmd Ravelin32 uidriver optdump_samples)
fi
mkdir -p build
for preset in "${presets[@]}"; do
  # A tree configured with another compiler than its preset names now cannot
  # be reconfigured in place: it starts afresh (the objects stay for ccache).
  cmake --preset "$preset" >/dev/null 2>build/configure-$preset.log ||
    cmake --preset "$preset" --fresh >/dev/null ||
    { cat build/configure-$preset.log >&2; exit 1; }
  if [ "$preset" = native ]; then
    cmake --build --preset "$preset" -j"$jobs" "${native_targets[@]}"
  else
    cmake --build --preset "$preset" -j"$jobs" "${win_targets[@]}"
  fi
done
