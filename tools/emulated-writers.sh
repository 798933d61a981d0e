#!/usr/bin/env bash
# Starts N emulated writers on COM1..COMN of the Wine prefix under build/, each
# with a blank chip in its socket and a handler that brings a new one after each
# chip, and prints how to drive them with pyrocmd (or Pyrograph) by hand. Runs
# until Ctrl+C, which stops the writers and Wine's server.
#
#   tools/emulated-writers.sh [N]     N from 1 to 8, default 2
# Needs the build (./tools/build.sh or ./run-demo.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
n=${1:-2}
case $n in [1-8]) ;; *) echo "usage: $0 [N]   (1 to 8 writers)" >&2; exit 2 ;; esac
export PYRO_ROOT=$PWD PYRO_WINBIN=$PWD/build/win-x86_64/bin PYRO_NATIVEBIN=$PWD/build/native/bin
for f in "$PYRO_WINBIN/pyrocmd.exe" "$PYRO_NATIVEBIN/writer_emulator"; do
    [ -x "$f" ] || [ -f "$f" ] || { echo "$f is missing: run ./tools/build.sh first" >&2; exit 1; }
done
. tests/wine/e2e-lib.sh

wine_env_start
ports=$(seq 1 "$n")
serial_setup $ports
trap 'serial_stop_all; serial_setup; wine_env_stop; exit 0' INT TERM EXIT
for p in $ports; do serial_start_emulator "$p" --do "chip pid=A6" --do "swap on"; done
# The programs with the sample settings in a folder of their own.
scenario by-hand "$(cat samples/Larkspur.ini)"
cp samples/*.otp "$SCEN/"

sample=ZK30P11C-4-numbered.otp
list=$(echo $ports | tr ' ' ',')
cat <<EOF
$n emulated writer(s) on COM$(echo $ports | sed 's/ /, COM/g'), each with a blank ZK30P11C-4 chip and
a handler that swaps in a new one. In another shell, from $PWD:

  export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all
  export LD_PRELOAD=$MODEMSHIM
  cd $SCEN
  $WINE pyrocmd.exe ports --probe
  $WINE pyrocmd.exe run $sample --count $((2 * n)) --ports $list --serial --no-wait

(LD_PRELOAD gives the pseudo-terminals the modem lines a cable would have. The
settings are Larkspur.ini in that folder; Pyrograph.exe is there too.) What each writer received and
sent: $SERIAL_DIR/comN.log. Control lines (faults, chips, unplugging; see
emulator/README.md): echo "unplug" > $SERIAL_DIR/com1.ctl

Ctrl+C stops the writers.
EOF
while :; do sleep 3600; done
