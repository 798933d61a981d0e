#!/usr/bin/env bash
# Installs what is missing, builds every tree, and runs every test: the native unit
# tests and fuzz smoke runs under the sanitizers, the import check of the Windows
# builds, and the end-to-end tests of the real programs under Wine.
set -uo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh || exit 1
./tools/build.sh || exit 1
mkdir -p build/logs

(cd build/native && ctest -j2 --output-on-failure --timeout 600) 2>&1 | tee build/logs/native.log
./tools/check-imports.sh 2>&1 | tee build/logs/imports.log
./tests/wine/run-all.sh 2>&1 | tee build/logs/wine.log

# One closing line for the whole run.
native=$(grep -E 'tests passed, [0-9]+ tests failed out of' build/logs/native.log | tail -1)
n_total=$(echo "$native" | sed -E 's/.*out of ([0-9]+).*/\1/')
n_fail=$(echo "$native" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
[ -n "$native" ] || { n_total=0; n_fail=1; }
i_line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' build/logs/imports.log | tail -1)
w_line=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed$' build/logs/wine.log | tail -1)
i_pass=$(echo "$i_line" | sed -E 's/^([0-9]+) passed.*/\1/')
i_fail=$(echo "$i_line" | sed -E 's/.* ([0-9]+) failed$/\1/')
w_pass=$(echo "$w_line" | sed -E 's/^wine: ([0-9]+) passed.*/\1/')
w_fail=$(echo "$w_line" | sed -E 's/.* ([0-9]+) failed$/\1/')
[ -n "$i_line" ] || { i_pass=0; i_fail=1; }
[ -n "$w_line" ] || { w_pass=0; w_fail=1; }
passed=$((n_total - n_fail + i_pass + w_pass))
failed=$((n_fail + i_fail + w_fail))
echo
echo "native: $((n_total - n_fail)) passed, $n_fail failed; imports: $i_pass passed, $i_fail failed; wine: $w_pass passed, $w_fail failed"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
