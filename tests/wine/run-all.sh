#!/usr/bin/env bash
# Runs the end-to-end scripts through ctest in the native tree (each script once
# per Windows build: wine.x64.NAME and wine.x86.NAME) and sums their checks per
# build. Where this machine cannot run the x86 build, says so in one line and
# runs the x64 tests alone. A JUnit report goes to build/logs/junit-wine.xml.
# Usage: run-all.sh [NAME-REGEX]   (PYRO_WINE_JOBS: tests at once, default 2;
# two of one build never run at once)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
logs="$root/build/logs"
mkdir -p "$logs/wine"
select=(-L wine)
[ -n "${1:-}" ] && select+=(-R "$1")

reason=$(cd "$root" && PYRO_ROOT=$root PYRO_ARCH=i686 bash -c \
    '. tests/wine/e2e-lib.sh; wine_prefix_make >/dev/null && wine_runs_x86')
if [ $? -ne 0 ]; then
    echo "$reason"
    select+=(-LE x86)
fi

tests=$(ctest --test-dir "$root/build/native" -N "${select[@]}" | sed -n 's/^ *Test *#[0-9]*: //p')
for t in $tests; do rm -f "$logs/wine/${t#wine.}.log"; done
ctest --test-dir "$root/build/native" "${select[@]}" -j"${PYRO_WINE_JOBS:-2}" --output-on-failure \
    --output-junit "$logs/junit-wine.xml"

# Each script's checks count; one that ended without its result line counts as a
# failure, one that said why it cannot run on this machine as nothing.
declare -A pass=() fail=()
for t in $tests; do
    tag=${t#wine.}
    tag=${tag%%.*}
    log="$logs/wine/${t#wine.}.log"
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" 2>/dev/null | tail -1)
    if [ -n "$line" ]; then
        p=${line%% passed*}
        f=${line#*, }
        f=${f%% failed}
    elif grep -q '^x86: not run: ' "$log" 2>/dev/null; then
        p=0 f=0
    else
        echo "FAIL - $t gave no result line"
        p=0 f=1
    fi
    pass[$tag]=$((${pass[$tag]:-0} + p))
    fail[$tag]=$((${fail[$tag]:-0} + f))
done
total_pass=0
total_fail=0
for tag in x64 x86; do
    [ -n "${pass[$tag]:-}" ] || continue
    echo "wine $tag: ${pass[$tag]} passed, ${fail[$tag]} failed"
    total_pass=$((total_pass + pass[$tag]))
    total_fail=$((total_fail + fail[$tag]))
done
echo "wine: $total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
