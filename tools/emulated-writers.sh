#!/usr/bin/env bash
# Starts N emulated writers on COM1..COMN of the Wine prefix under build/, each
# with a blank chip of the sample body in its socket and a handler that brings a
# new one after each chip of a run, and prints how to drive them with pyrocmd or
# Pyrograph by hand. The window goes to $DISPLAY, or to an X server of its own
# when none is set. Runs until Ctrl+C, which stops the writers and Wine's server.
#
#   tools/emulated-writers.sh [--ledger] [N]     N from 1 to 8, default 2
# With --ledger, a private PostgreSQL cluster (tools/pg-cluster.sh) is started
# too, [Ledger] is set in the folder's settings, and the ledger's commands are
# printed with the others.
# Needs the build (./tools/build.sh or ./run-demo.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
ledger=
[ "${1:-}" = --ledger ] && { ledger=1; shift; }
n=${1:-2}
case $n in [1-8]) ;; *) echo "usage: $0 [--ledger] [N]   (1 to 8 writers)" >&2; exit 2 ;; esac
export PYRO_ROOT=$PWD PYRO_WINBIN=$PWD/build/win-x86_64/bin PYRO_NATIVEBIN=$PWD/build/native/bin
for f in "$PYRO_WINBIN/pyrocmd.exe" "$PYRO_NATIVEBIN/writer_emulator"; do
    [ -x "$f" ] || [ -f "$f" ] || { echo "$f is missing: run ./tools/build.sh first" >&2; exit 1; }
done
. tests/wine/e2e-lib.sh

# A display the user has is used for the window; without one, our own server.
[ -n "${DISPLAY:-}" ] && export PYRO_OWN_X=
wine_env_start
ports=$(seq 1 "$n")
serial_setup $ports
trap 'serial_stop_all; serial_setup; wine_env_stop; [ -n "$ledger" ] && tools/pg-cluster.sh stop >/dev/null 2>&1; exit 0' INT TERM EXIT
# The chip answers as the sample's body, ZK30P11C-4 (A6, A6), so Chip Info names it.
for p in $ports; do serial_start_emulator "$p" --do "chip pid=A6 power=A6 soft=A6" --do "swap auto"; done
# The programs with the sample settings in a folder of their own.
scenario by-hand "$(cat samples/Larkspur.ini)"
cp samples/*.otp "$SCEN/"
ledger_text=
if [ -n "$ledger" ]; then
    tools/pg-cluster.sh start >/dev/null || { echo "the private PostgreSQL cluster does not start" >&2; exit 1; }
    eval "$(tools/pg-cluster.sh env)"
    printf '\r\n[Ledger]\r\nConnection=%s\r\nStation=bench-1\r\nBlock=10\r\n' "$PYRO_LEDGER_CONNECTION" >>"$SCEN/Larkspur.ini"
    (cd "$SCEN" && "$WINE" pyrocmd.exe ledger init >/dev/null 2>&1 &&
        "$WINE" pyrocmd.exe ledger sequence ZK30P11C-4 --first 1000 --last 999999 >/dev/null 2>&1) </dev/null ||
        { echo "the ledger's schema could not be made" >&2; exit 1; }
    ledger_text="
  The ledger is on (PostgreSQL on 127.0.0.1:$PYRO_PG_PORT, sequence ZK30P11C-4, blocks of 10):
  $WINE pyrocmd.exe ledger status
  $WINE pyrocmd.exe ledger find 1000
  $WINE pyrocmd.exe ledger report
  To see it offline: tools/pg-cluster.sh stop (and start again)
"
fi

sample=ZK30P11C-4-numbered.otp
list=$(echo $ports | tr ' ' ',')
cat <<EOF
$n emulated writer(s) on COM$(echo $ports | sed 's/ /, COM/g'), each with a blank ZK30P11C-4 chip and
a handler that swaps in a new one after each chip of a run (single commands keep
the chip: program, then verify it). In another shell, from $PWD:

  export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all DISPLAY=$DISPLAY
  export LD_PRELOAD='$MODEMSHIM'
  cd $SCEN
  $WINE pyrocmd.exe ports --probe
  $WINE pyrocmd.exe run $sample --count $((2 * n)) --ports $list --serial --no-wait
  $WINE Pyrograph.exe $sample
$ledger_text
(The window is on display $DISPLAY$([ -n "${_wine_xvfb_pid:-}" ] && echo ", an X server of this script's; look at it with: DISPLAY=$DISPLAY import -window root shot.png").)

(LD_PRELOAD gives the pseudo-terminals the modem lines a cable would have. The
settings are Larkspur.ini in that folder; Pyrograph.exe is there too.) What each writer received and
sent: $SERIAL_DIR/comN.log. Control lines (faults, chips, unplugging; see
emulator/README.md): echo "unplug" > $SERIAL_DIR/com1.ctl

Ctrl+C stops the writers.
EOF
while :; do sleep 3600; done
