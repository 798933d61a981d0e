#!/usr/bin/env bash
# Benchmark (prints figures, asserts nothing): seconds per chip of pyrocmd runs
# against emulated writers with the line paced at 38400 baud, one to three
# writers side by side, with and without serial numbers. The difference the
# numbers make per chip is their cost: the settings file read and written
# durably under the lock every program takes, the four words read blank and
# the four written.
# Needs the native emulator and the x86_64 Windows build.
set -u
CHIPS=${CHIPS:-12}
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tests/wine/e2e-lib.sh"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
wine_env_start
trap 'serial_stop_all; serial_park; wine_env_stop' EXIT
serial_setup 1 2 3

scenario bench-gang "$SAMPLE_INI
[Serial]
Data=4096"
"$PYRO_NATIVEBIN/mkimage" -o "$SCEN/img.otp" --pid A6 --oid A6 --rom 2000 --fill 3F00 \
    --options 3FFF >/dev/null
img=$(winpath "$SCEN/img.otp")

# run PORTS SERIAL: seconds per chip of a run of $CHIPS chips over the ports.
run() {
    local n
    serial_stop_all
    for n in ${1//,/ }; do
        serial_start_emulator "$n" --do "chip pid=A6" --do "swap on"
    done
    "$WINE" "$SCEN/pyrocmd.exe" run "$img" --count "$CHIPS" --ports "$1" --no-wait "$2" \
        >"$SCEN/out" 2>/dev/null </dev/null
    tr -d '\r' <"$SCEN/out" | sed -n 's/^Passed: \([0-9]*\), failed: \([0-9]*\), \([0-9.]*\) s per chip$/\3 \1/p'
}

printf '%-10s %-10s %14s %8s\n' writers numbers "s per chip" passed
for ports in 1 1,2 1,2,3; do
    for serial in --no-serial --serial; do
        read -r spc passed <<<"$(run "$ports" "$serial")"
        printf '%-10s %-10s %14s %8s\n' "$(echo "$ports" | tr ',' '\n' | wc -l)" \
            "${serial#--}" "${spc:-?}" "${passed:-?}"
    done
done
