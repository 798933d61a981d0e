#!/usr/bin/env bash
# Runs every end-to-end script under one Wine environment and sums their checks.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/e2e-lib.sh"
wine_env_start
trap wine_env_stop EXIT
total_pass=0
total_fail=0
for t in "$here"/test_*.sh; do
    [ -n "${1:-}" ] && [[ "$(basename "$t")" != *"$1"* ]] && continue
    echo "== $(basename "$t")"
    # Each script starts from parked ports and a fresh wineserver, whatever the
    # one before it left behind.
    serial_park
    out=$(bash "$t" 2>&1)
    echo "$out" | grep -v -E '^[0-9]+ passed, [0-9]+ failed$'
    line=$(echo "$out" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -1)
    if [ -z "$line" ]; then
        echo "FAIL - $(basename "$t") ended without a result line"
        total_fail=$((total_fail + 1))
        continue
    fi
    total_pass=$((total_pass + ${line%% passed*}))
    f=${line#*, }
    total_fail=$((total_fail + ${f%% failed*}))
done
echo "wine: $total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
