#!/usr/bin/env bash
# Gang benchmark (prints figures, asserts nothing): chips per hour of one
# pyrocmd run on 1, 2 and 4 emulated writers side by side. Each writer does
# Auto passes with serial numbers on a 38400-baud line paced both ways, with
# the emulator's own programming times and a handler that puts a new blank
# chip in its socket after each.
#
# Per row: chips per hour (from the run's own time, the first chip on), the
# scaling against one writer, the PC's own share of a chip's time (the writers'
# time waiting for the PC's next frame: the gaps from the end of a reply to the
# next command, poll intervals left out), and pyrocmd's CPU over the whole run
# (downloads included), per writer. A last row runs one writer without numbers:
# the difference is what the serial numbers cost per chip (the settings file
# read and written durably under the lock every program takes, the words
# checked blank and written).
#
#   bench_gang.sh        CHIPS (per writer, default 20) sets the run's length
set -u
CHIPS=${CHIPS:-20}
. "$(dirname "$0")/e2e-lib.sh"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
wine_env_start
serial_setup 1 2 3 4
trap 'serial_stop_all; serial_setup; wine_env_stop' EXIT

scenario bench-gang "$SAMPLE_INI"
"$PYRO_NATIVEBIN/mkimage" -o "$SCEN/img.otp" --pid A6 --oid A6 --rom 800 --fill 3F00 \
    --options 3FFF >/dev/null
img=$(winpath "$SCEN/img.otp")

# pc_share N...: the writers' mean share of the run's span spent waiting on the
# PC, in %: turn-arounds under 50 ms from the first chip on (a longer gap is a
# poll interval, which the protocol asks for).
pc_share() {
    local files=() n
    for n in "$@"; do files+=("$SERIAL_DIR/com$n.log"); done
    awk -v n="$#" -v span="$SPAN" '
        FNR == 1 { end = ""; chips = 0 }
        $2 == "RX" && $3 == "04" && $4 == "5A" { chips = 1 }
        $2 == "TX-END" { end = $1; next }
        $2 == "RX" && end != "" {
            gap = $1 - end
            if (chips && gap >= 0 && gap < 0.05) idle += gap
            end = ""
        }
        END { printf "%.1f", (span > 0 ? 100 * idle / n / span : 0) }' "${files[@]}"
}

# run PORTS SERIAL: one run; sets PASSED, SPAN (s, first chip on), CPU (s).
run() {
    local n ports=$1 serial=$2 count
    serial_stop_all
    for n in ${ports//,/ }; do
        serial_start_emulator "$n" --baud 38400 --pace in,out --do "chip pid=A6" --do "swap on"
    done
    count=$((CHIPS * $(echo "$ports" | tr ',' '\n' | wc -l)))
    local TIMEFORMAT='%U %S'
    { time "$WINE" "$SCEN/pyrocmd.exe" run "$img" --count "$count" --ports "$ports" --no-wait \
        "$serial" --json >"$SCEN/out" 2>"$SCEN/err" </dev/null; } 2>"$SCEN/time"
    local summary
    summary=$(tr -d '\r' <"$SCEN/out" | grep '"type":"summary"' | tail -1)
    summary=${summary%%\"writers\"*}  # the run's total, not its writers'
    PASSED=$(echo "$summary" | sed -n 's/.*"passed":\([0-9]*\).*/\1/p')
    SPAN=$(echo "$summary" | sed -n 's/.*"seconds":\([0-9.]*\).*/\1/p')
    CPU=$(awk '{ print $1 + $2 }' "$SCEN/time")
}

printf '%-8s %-10s %7s %10s %8s %13s %14s\n' writers numbers chips "chips/h" scaling \
    "PC share %" "CPU %/writer"
one=""
row() {  # row PORTS SERIAL
    local writers=$(($(echo "$1" | tr -cd ',' | wc -c) + 1)) perhour scaling share cpu
    run "$1" "$2"
    if [ -z "$PASSED" ] || [ -z "$SPAN" ]; then
        printf '%-8s %-10s %7s  run failed: %s\n' "$writers" "${2#--}" "-" "$(head -c 200 "$SCEN/err")"
        return
    fi
    perhour=$(awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.0f", (s > 0 ? p * 3600 / s : 0) }')
    [ "$writers" = 1 ] && [ "$2" = --serial ] && one=$perhour
    scaling=$(awk -v a="$perhour" -v b="$one" 'BEGIN { printf "%.2fx", (b > 0 ? a / b : 0) }')
    share=$(pc_share ${1//,/ })
    # The whole process's CPU over the run's span, shared among its writers.
    cpu=$(awk -v c="$CPU" -v s="$SPAN" -v w="$writers" 'BEGIN { printf "%.2f", 100 * c / s / w }')
    printf '%-8s %-10s %7s %10s %8s %13s %14s\n' "$writers" "${2#--}" "$PASSED" "$perhour" \
        "$scaling" "$share" "$cpu"
    [ "$writers" = 1 ] && SECONDS_PER_CHIP[$2]=$(awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.3f", s / p }')
}
declare -A SECONDS_PER_CHIP=()
row 1 --serial
row 1,2 --serial
row 1,2,3,4 --serial
row 1 --no-serial
if [ -n "${SECONDS_PER_CHIP[--serial]:-}" ] && [ -n "${SECONDS_PER_CHIP[--no-serial]:-}" ]; then
    awk -v a="${SECONDS_PER_CHIP[--serial]}" -v b="${SECONDS_PER_CHIP[--no-serial]}" \
        'BEGIN { printf "serial numbers cost %.0f ms per chip (%.3f s with, %.3f s without)\n", 1000 * (a - b), a, b }'
fi
