#!/usr/bin/env bash
# Gang benchmark (prints figures, asserts nothing): chips per hour of one
# pyrocmd run on 1, 2, 4, 8 and 16 emulated writers side by side. Each writer does
# Auto passes with serial numbers on a 38400-baud line paced both ways, with
# the emulator's own programming times and a handler that puts a new blank
# chip in its socket after each.
#
# Per row: chips per hour (from the run's own time, the first chip on), the
# scaling against one writer, the PC's own share of a chip's time (the writers'
# time waiting for the PC's next frame: the gaps from the end of a reply to the
# next command, poll intervals left out), and pyrocmd's CPU over the whole run
# (downloads included), per writer, and the load average when the row
# started (other work on the machine skews a row). Each row also runs the
# floor: one floorprobe.exe per writer, the simplest program that sends a
# chip's frames of such a run (blocking reads, no threads), all at once on
# the same emulated writers; "of floor" is pyrocmd's chips per hour against
# it, so what the machine itself allows is told from what pyrocmd costs. A
# last row runs one writer without numbers:
# the difference is what the serial numbers cost per chip (the settings file
# read and written durably under the lock every program takes, the words
# checked blank and written). Then the factory ledger, on a private PostgreSQL
# cluster: 4 writers taking their numbers from it and queueing every record,
# beside the same run without it, and one writer reserving a block for each
# chip (Block=1) beside one reserving a block of 100: the difference per chip
# is the time to reserve a block.
#
#   bench_gang.sh        CHIPS (per writer, default 20) sets the run's length;
#                        ROWS=ledger runs only the ledger's rows
set -u
CHIPS=${CHIPS:-20}
. "$(dirname "$0")/e2e-lib.sh"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
wine_env_start
ALL_PORTS=$(seq -s' ' 1 16)
# shellcheck disable=SC2086
serial_setup $ALL_PORTS
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

# floor PORTS: chips per hour of one floorprobe per port, all at once.
floor() {
    local n pids=() started ended done=0
    serial_stop_all
    for n in ${1//,/ }; do
        serial_start_emulator "$n" --baud 38400 --pace in,out --do "chip pid=A6" --do "swap on"
    done
    started=$(date +%s.%N)
    for n in ${1//,/ }; do
        "$WINE" "$SCEN/floorprobe.exe" "$n" chips "$CHIPS" >"$SCEN/floor$n" 2>/dev/null </dev/null &
        pids+=($!)
    done
    for n in "${pids[@]}"; do wait "$n"; done
    ended=$(date +%s.%N)
    for n in ${1//,/ }; do
        done=$((done + $(tr -d '\r' <"$SCEN/floor$n" | sed -n 's/^CHIPS \([0-9]*\).*/\1/p')))
    done
    # Called in a subshell: the writers it started are its own to stop.
    serial_stop_all
    awk -v c="$done" -v a="$started" -v b="$ended" 'BEGIN { printf "%.0f", (b > a ? c * 3600 / (b - a) : 0) }'
}

printf '%-8s %-10s %7s %10s %8s %13s %14s %8s %10s %9s\n' writers numbers chips "chips/h" scaling \
    "PC share %" "CPU %/writer" "load" "floor c/h" "of floor"
one=""
row() {  # row PORTS SERIAL
    local writers=$(($(echo "$1" | tr -cd ',' | wc -c) + 1)) perhour scaling share cpu load base=""
    load=$(cut -d' ' -f1 /proc/loadavg)
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
    [ "$2" = --serial ] && base=$(floor "$1")
    printf '%-8s %-10s %7s %10s %8s %13s %14s %8s %10s %9s\n' "$writers" "${2#--}" "$PASSED" "$perhour" \
        "$scaling" "$share" "$cpu" "$load" "${base:--}" \
        "$(awk -v a="$perhour" -v b="$base" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')"
    [ "$writers" = 1 ] && SECONDS_PER_CHIP[$2]=$(awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.3f", s / p }')
}
declare -A SECONDS_PER_CHIP=()
if [ "${ROWS:-}" != ledger ]; then
    for writers in 1 2 4 8 16; do
        row "$(seq -s, 1 "$writers")" --serial
    done
    row 1 --no-serial
    if [ -n "${SECONDS_PER_CHIP[--serial]:-}" ] && [ -n "${SECONDS_PER_CHIP[--no-serial]:-}" ]; then
        awk -v a="${SECONDS_PER_CHIP[--serial]}" -v b="${SECONDS_PER_CHIP[--no-serial]}" \
            'BEGIN { printf "serial numbers cost %.0f ms per chip (%.3f s with, %.3f s without)\n", 1000 * (a - b), a, b }'
    fi
fi

# --- The ledger -------------------------------------------------------------------
cluster="$PYRO_ROOT/tools/pg-cluster.sh"
"$cluster" start >/dev/null || { echo "ledger rows: the private PostgreSQL cluster does not start"; exit; }
eval "$("$cluster" env)"
trap 'serial_stop_all; serial_setup; wine_env_stop; "$cluster" stop >/dev/null 2>&1' EXIT
per_hour() { awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.0f", (s > 0 ? p * 3600 / s : 0) }'; }
ledger_on() {  # ledger_on BLOCK: the scenario's settings with [Ledger] on a sequence of its own
    local seq="bench-$$-$1-$RANDOM"
    printf '%s\n[Ledger]\nConnection=%s\nStation=bench\nSequence=%s\nBlock=%s\n' \
        "$SAMPLE_INI" "$PYRO_LEDGER_CONNECTION" "$seq" "$1" | sed 's/$/\r/' >"$SCEN/Larkspur.ini"
    "$WINE" "$SCEN/pyrocmd.exe" ledger init >/dev/null 2>&1 </dev/null
    "$WINE" "$SCEN/pyrocmd.exe" ledger sequence "$seq" --first 1 --last 1000000 >/dev/null 2>&1 </dev/null
}
ledger_off() { printf '%s\n' "$SAMPLE_INI" | sed 's/$/\r/' >"$SCEN/Larkspur.ini"; }
echo "ledger (load $(cut -d' ' -f1 /proc/loadavg)):"
ledger_off
run 1,2,3,4 --serial
without=$(per_hour)
ledger_on 100
run 1,2,3,4 --serial
with=$(per_hour)
waiting=$(grep -c 'wait on this station' "$SCEN/err")
awk -v a="$with" -v b="$without" -v w="$waiting" 'BEGIN {
    printf "  4 writers: %s chips/h with the ledger, %s without: %.1f %% of it%s\n", a, b,
        (b > 0 ? 100 * a / b : 0), (w > 0 ? " (records still waited at the end)" : "") }'
ledger_on 1
run 1 --serial
one_block=$(awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.4f", (p > 0 ? s / p : 0) }')
ledger_on 100
run 1 --serial
hundred=$(awk -v p="$PASSED" -v s="$SPAN" 'BEGIN { printf "%.4f", (p > 0 ? s / p : 0) }')
awk -v a="$one_block" -v b="$hundred" 'BEGIN {
    printf "  a block reserved: %.0f ms (%.3f s per chip with Block=1, %.3f s with Block=100)\n",
        1000 * (a - b), a, b }'
ledger_off
