#!/usr/bin/env bash
# Installs what is missing, builds every tree, and runs every test: the native unit
# tests, fuzz smoke runs and layer checks under the sanitizers, the import and
# package checks of the Windows builds, the end-to-end tests of the real programs
# (and of the installer) under Wine for both Windows builds, and the demo from a
# fresh clone of this checkout. The ctest parts leave JUnit reports in build/logs/.
set -uo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh || exit 1
./tools/build.sh || exit 1
mkdir -p build/logs

ctest --test-dir build/native -LE wine -j2 --output-on-failure --timeout 600 \
    --output-junit "$PWD/build/logs/junit-native.xml" 2>&1 | tee build/logs/native.log
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
# part NAME LOG [PREFIX]: the last "N passed, N failed" line of LOG (after PREFIX).
part() {
    local line
    line=$(grep -E "^${3:-}[0-9]+ passed, [0-9]+ failed\$" "$2" | tail -1)
    if [ -n "$line" ]; then
        line=${line#"${3:-}"}
        add "$1" "${line%% passed*}" "$(echo "$line" | sed -E 's/.* ([0-9]+) failed$/\1/')"
    else
        add "$1" 0 1
    fi
}
part imports build/logs/imports.log
part packages build/logs/packages.log
part "wine x64" build/logs/wine.log "wine x64: "
# The x86 build's part, unless the machine cannot run it (said in one line).
grep -q '^x86: not run: ' build/logs/wine.log || part "wine x86" build/logs/wine.log "wine x86: "
part demo-clone build/logs/demo-clone.log
echo
(IFS=';'; echo "${summary[*]}" | sed 's/;/; /g')
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
