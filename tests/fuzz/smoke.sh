#!/bin/sh
# tests/fuzz/smoke.sh FUZZER CORPUS RUNS
# A short run that starts from the kept corpus. New inputs go to a scratch
# directory given first, so the tree stays as it is.
bin=$1
corpus=$2
runs=$3
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
set -- "$scratch"
[ -d "$corpus" ] && set -- "$@" "$corpus"
"$bin" -runs="$runs" -max_len=8192 -seed=1 "$@"
