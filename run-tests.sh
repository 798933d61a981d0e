#!/usr/bin/env bash
# Installs what is missing, builds every tree, and runs every test: the native unit
# tests and fuzz smoke runs under the sanitizers, the import and package checks of
# the Windows builds, the end-to-end tests of the real programs (and of the
# installer) under Wine, and the demo from a fresh clone of this checkout.
set -uo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh || exit 1
./tools/build.sh || exit 1
mkdir -p build/logs

(cd build/native && ctest -j2 --output-on-failure --timeout 600) 2>&1 | tee build/logs/native.log
./tools/check-imports.sh 2>&1 | tee build/logs/imports.log
./tools/check-packages.sh 2>&1 | tee build/logs/packages.log
./tests/wine/run-all.sh 2>&1 | tee build/logs/wine.log
echo "== demo from a fresh clone"
./tests/clone/check-demo.sh 2>&1 | tee build/logs/demo-clone.log

# One closing line for the whole run. A part without its result line counts as a failure.
summary=()
passed=0
failed=0
add() {  # add NAME PASSED FAILED
    summary+=("$1: $2 passed, $3 failed")
    passed=$((passed + $2))
    failed=$((failed + $3))
}
native=$(grep -E 'tests passed, [0-9]+ tests failed out of' build/logs/native.log | tail -1)
if [ -n "$native" ]; then
    n_total=$(echo "$native" | sed -E 's/.*out of ([0-9]+).*/\1/')
    n_fail=$(echo "$native" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
    add native $((n_total - n_fail)) "$n_fail"
else
    add native 0 1
fi
for part in imports packages wine demo-clone; do
    line=$(grep -E '^(wine: )?[0-9]+ passed, [0-9]+ failed$' "build/logs/$part.log" | tail -1)
    if [ -n "$line" ]; then
        line=${line#wine: }
        add "$part" "${line%% passed*}" "$(echo "$line" | sed -E 's/.* ([0-9]+) failed$/\1/')"
    else
        add "$part" 0 1
    fi
done
echo
(IFS=';'; echo "${summary[*]}" | sed 's/;/; /g')
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
