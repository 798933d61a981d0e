#!/usr/bin/env bash
# Download throughput (prints figures, asserts nothing): a 128 KiB image to the
# emulator on a 38400-baud line paced both ways, its replies byte by byte and
# the frames it receives at the line rate. Prints the payload rate, its share
# of 3390 B/s (128 data bytes per 145 line bytes: a frame, its acknowledge,
# one poll and its reply) and the program's turn-around: the time from the
# end of a reply to the next command, after acknowledges and after poll
# replies (median and 90th percentile).
#
#   bench_download.sh [--probe] [PYROGRAPH.EXE...]
# First the floor: the same frames through floorprobe.exe, the simplest
# program that does the exchange (blocking reads of each reply's length, one
# thread), through the same Wine, pty and emulator. Then each program in turn,
# the tree's own by default, with its share of the bound and of that floor.
# --probe also runs the frames through the link probe (serial port and link,
# no window; LINKPROBE names other builds of it, separated by blanks), which
# shows the link's own share of the turn-around.
. "$(dirname "$0")/e2e-lib.sh"
wine_env_start
serial_setup 1
trap 'serial_stop_all; serial_setup; wine_env_stop' EXIT

size=$((128 * 1024))
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
probe=0
[ "${1:-}" = "--probe" ] && { probe=1; shift; }
exes=("$@")
[ ${#exes[@]} -gt 0 ] || [ "$probe" = 1 ] || exes=("$PYRO_WINBIN/Pyrograph.exe")

# figures LOG: from the end of the reply that ended the flash erase to the end
# of the reply that ended the last data frame (before the driver block, or the
# last reply when there is none).
figures() {
    awk -v size="$size" -v rates="$SERIAL_DIR/rate" '
        function pct(a, n, p,   i, j, t, k) {
            for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
            k = int(p * n + 0.999999); if (k < 1) k = 1; return a[k]
        }
        $2 == "RX" && $3 == "04" && $4 == "5C" { erase = 1 }
        $2 == "TX" { lastcode = $4 }
        $2 == "TX-END" { lastend = $1 }
        $2 == "RX" && $4 == "56" && $3 != "1F" && erase && !started { t0 = lastend; started = 1 }
        $2 == "RX" && $3 == "1F" && $4 == "56" && started && !t1 { t1 = lastend }
        $2 == "RX" && started && !t1 {
            if ($4 == "56") frames++
            gap = ($1 - lastend) * 1000
            if (lastcode == "90") ack[++na] = gap; else if (lastcode == "8E") poll[++np] = gap
        }
        END {
            if (!t1) t1 = lastend
            if (!started || t1 <= t0) { print "  no complete transfer in the log"; exit 1 }
            t = t1 - t0
            print frames * 128 / t >rates
            printf "  frames %d, %.2f s, payload %.0f B/s, %.1f%% of 3390 B/s\n", frames, t, frames * 128 / t, frames * 128 / t * 100 / 3390
            printf "  end of acknowledge to poll:      median %.2f ms, p90 %.2f ms (%d)\n", pct(ack, na, 0.5), pct(ack, na, 0.9), na
            printf "  end of poll reply to next frame: median %.2f ms, p90 %.2f ms (%d)\n", pct(poll, np, 0.5), pct(poll, np, 0.9), np
        }' "$1"
}

floor=""
# share: the last figures' rate against the floor's.
share() {
    local rate
    rate=$(tail -1 "$SERIAL_DIR/rate" 2>/dev/null)
    [ -n "$floor" ] && [ -n "$rate" ] &&
        awk -v r="$rate" -v f="$floor" 'BEGIN { printf "  share of the floor: %.3f\n", r / f }'
    return 0
}

# bench_exchange EXE ARGS...: a console program that does the exchange itself.
bench_exchange() {
    local exe=$1
    shift
    rm -f "$SERIAL_DIR/rate"
    serial_start_emulator 1 --baud 38400 --pace in,out
    "$WINE" "$exe" "$@" >"$SERIAL_DIR/probe.out" 2>/dev/null </dev/null
    echo "$exe: $(tr -d '\r' <"$SERIAL_DIR/probe.out" | grep '^STATUS' | tail -1)"
    cp "$SERIAL_DIR/com1.log" "$SERIAL_DIR/probe.log"
    serial_stop_emulator 1
    figures "$SERIAL_DIR/probe.log"
}

bench_floor() {
    bench_exchange "$PYRO_WINBIN/floorprobe.exe" 1 flash $((size / 128))
    floor=$(tail -1 "$SERIAL_DIR/rate" 2>/dev/null)
}

bench_probe() {
    local p
    for p in ${LINKPROBE:-$PYRO_WINBIN/linkprobe.exe}; do
        bench_exchange "$p" ensure polling 0x5C flash $((size / 128))
        share
    done
}

bench_one() {
    rm -f "$SERIAL_DIR/rate"
    scenario bench-download "$SAMPLE_INI"
    cp "$1" "$SCEN/Pyrograph.exe"
    head -c "$size" /dev/urandom >"$SCEN/bench.bin"
    serial_start_emulator 1 --baud 38400 --pace in,out
    start_pyrograph
    ui wait Pyrograph >/dev/null
    # Wait for the start-up connection and driver check to finish.
    settle
    ui settext Pyrograph 1008 "$(winpath "$SCEN/bench.bin")" >/dev/null
    ui press Pyrograph 3 >/dev/null
    # Asking the window for its text starts a Wine process and wakes the
    # program: the wait watches the writer's log instead, which stops growing
    # when the transfer is over, and asks the window once.
    local msg="" i size last=-1 still=0
    for i in $(seq 1 600); do
        sleep 1
        size=$(stat -c %s "$SERIAL_DIR/com1.log" 2>/dev/null || echo 0)
        if [ "$size" = "$last" ]; then still=$((still + 1)); else still=0; fi
        last=$size
        [ "$still" -ge 3 ] && break
    done
    for i in $(seq 1 20); do
        msg=$(ui text Pyrograph 1010)
        [ "$msg" = "Download OK!" ] || [ "$msg" = "Download fail!" ] && break
        sleep 1
    done
    echo "$1: $msg"
    cp "$SERIAL_DIR/com1.log" "$SCEN/writer.log"
    stop_pyrograph
    serial_stop_emulator 1
    figures "$SCEN/writer.log"
    share
}

bench_floor
[ "$probe" = 1 ] && bench_probe
for exe in "${exes[@]}"; do bench_one "$exe"; done
