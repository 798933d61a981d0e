#!/usr/bin/env bash
# Runs one end-to-end script against one Windows build (x86_64 or i686) in that
# build's own Wine environment, from parked ports and a fresh wineserver. The
# output is kept in build/logs/wine/; the script's closing "N passed, N failed"
# line decides. Exit 77: this machine cannot run the build (the output says why).
# Usage: run-test.sh ARCH SCRIPT
set -u
arch=${1:?usage: run-test.sh ARCH SCRIPT} script=${2:?usage: run-test.sh ARCH SCRIPT}
here=$(cd "$(dirname "$0")" && pwd)
export PYRO_ROOT="${PYRO_ROOT:-$(cd "$here/../.." && pwd)}"
export PYRO_ARCH=$arch PYRO_WINBIN="$PYRO_ROOT/build/win-$arch/bin"
. "$here/e2e-lib.sh"
name=$(basename "$script" .sh)
log="$PYRO_ROOT/build/logs/wine/$PYRO_MSIARCH.${name#test_}.log"
mkdir -p "$(dirname "$log")"
: >"$log"
wine_env_start >>"$log"
trap wine_env_stop EXIT
cat "$log"
if [ "$arch" = i686 ]; then
    why=$(wine_runs_x86) || { echo "$why" | tee -a "$log"; exit 77; }
fi
serial_park
bash "$script" 2>&1 | tee -a "$log"
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
if [ -z "$line" ]; then
    echo "FAIL - $name ended without a result line" | tee -a "$log"
    exit 1
fi
f=${line#*, }
[ "${f%% failed}" -eq 0 ]
