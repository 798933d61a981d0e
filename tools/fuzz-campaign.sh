#!/usr/bin/env bash
# Long fuzz campaign: tools/fuzz-campaign.sh COUNT [TARGET...]
#
# Builds an optimised ASan+UBSan fuzz tree in build/fuzz, runs each target (all
# of tests/fuzz/*_fuzz.cpp when none is named) for COUNT inputs, one after the
# other, starting from its kept corpus tests/fuzz/corpus/<target>/, then merges
# the corpus back minimised (inputs not named by their hash, the regression
# inputs of fixed findings, are kept as they are). Prints one line per target:
#   target  inputs  seconds  exec/s  cov  ft  corpus  findings
# Findings (crash-, leak-, timeout-, oom- files) stay in build/fuzz/findings/<target>/
# and make the script exit non-zero. Run it under nice: it keeps one core busy.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

count=${1:?usage: tools/fuzz-campaign.sh COUNT [TARGET...]}
shift
case $count in '' | *[!0-9]*)
    echo "COUNT must be a number" >&2
    exit 2
    ;;
esac

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

# Inputs above this size add nothing the parsers do not already see at a few
# kilobytes, and keep the kept corpus small.
max_len=${FUZZ_MAX_LEN:-8192}
build=build/fuzz

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -g" "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -g" >/dev/null || exit 1
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target "${targets[@]}" >/dev/null || {
    echo "build failed" >&2
    exit 1
}

printf '%-26s %12s %8s %8s %6s %7s %7s %s\n' \
    target inputs seconds exec/s cov ft corpus findings
status=0
for t in "${targets[@]}"; do
    bin=$build/bin/$t
    corpus=tests/fuzz/corpus/$t
    findings=$build/findings/$t
    work=$build/campaign/$t
    rm -rf "$work" "$findings"
    mkdir -p "$corpus" "$findings" "$work/new" "$work/merged"
    log=$work/run.log

    start=$(date +%s)
    # New inputs go to the scratch dir (first); the kept corpus is only read.
    "$bin" -runs="$count" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$root/$findings/" \
        "$work/new" "$corpus" >"$log" 2>&1
    rc=$?
    secs=$(($(date +%s) - start))

    inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
    ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
    # A crash ends the run before the final stats: the last status line counts.
    [ -n "$inputs" ] || inputs=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")

    # Merge what the run found into a minimal set with the same features.
    "$bin" -merge=1 -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        "$work/merged" "$corpus" "$work/new" >"$work/merge.log" 2>&1
    if [ $? -eq 0 ] && [ -n "$(ls -A "$work/merged")" ]; then
        # Inputs named by hand are regression inputs of fixed findings: they
        # stay under their names whatever the merge thinks of them.
        keep=" "
        for f in "$corpus"/*; do
            [ -f "$f" ] || continue
            name=$(basename "$f")
            if [[ $name =~ ^[0-9a-f]{40}$ ]]; then
                rm -f "$f"
            else
                keep+="$(sha1sum <"$f" | cut -c1-40) "
            fi
        done
        for f in "$work/merged"/*; do
            [[ $keep == *" $(basename "$f") "* ]] || cp "$f" "$corpus"/
        done
    fi
    kept=$(find "$corpus" -type f | wc -l)

    found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    [ "$found" -eq 0 ] && [ "$rc" -eq 0 ] || status=1
    printf '%-26s %12s %8s %8s %6s %7s %7s %s\n' \
        "$t" "${inputs:-?}" "$secs" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$kept" \
        "$found$([ "$rc" -ne 0 ] && echo " (exit $rc, see $log)")"
done
exit $status
