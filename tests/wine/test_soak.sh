#!/usr/bin/env bash
# A short soak: four writers, 200 chips, faults in 2 % of them, every verdict
# and serial number checked against the writers' own records.
. "$(dirname "$0")/e2e-lib.sh"
report=$(bash "$PYRO_ROOT/tools/soak.sh" --writers 4 --chips 200 --fault-rate 0.02 --seed 7 2>&1)
rc=$?
echo "$report" | sed 's/^/  soak: /'
check "the soak's checks pass" 0 "$rc"
check "every chip got a verdict" 1 "$(echo "$report" | grep -c '^chips: 200 with a verdict')"
check "faults were injected" 1 "$(echo "$report" | grep -cE '^faults injected: [1-9]')"
check "no wrong verdict" 1 "$(echo "$report" | grep -c '^wrong verdicts: 0 ')"
check "no number lost, repeated or in two chips" 1 \
    "$(echo "$report" | grep -c '^lost numbers: 0, repeated numbers: 0, numbers in two chips: 0$')"
finish
