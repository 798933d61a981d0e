#!/usr/bin/env bash
# Download throughput: a 128 KiB image to the emulator pacing its line at 38400
# baud. Prints the payload rate and its share of 3390 B/s, the rate at which
# 128-byte frames with their acknowledge and one poll fill the line.
. "$(dirname "$0")/e2e-lib.sh"
wine_env_start
serial_setup 1
trap 'serial_stop_all; serial_setup; wine_env_stop' EXIT

size=$((128 * 1024))
scenario bench-download "$SAMPLE_INI"
head -c "$size" /dev/urandom >"$SCEN/bench.bin"
serial_start_emulator 1 --baud 38400
start_pyrograph
ui wait Pyrograph >/dev/null
# Wait for the start-up connection and driver check to finish.
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/bench.bin")" >/dev/null
ui click Pyrograph 3 >/dev/null
for i in $(seq 1 1200); do
    msg=$(ui text Pyrograph 1010)
    [ "$msg" = "Download OK!" ] || [ "$msg" = "Download fail!" ] && break
    sleep 0.5
done
echo "result: $msg"
# From the reply that ended the flash erase to the reply that ended the last
# data frame: every frame's whole exchange and the program's own pauses. The
# emulator paces only what it sends, so the bytes it received are charged
# their time on a 38400-baud line (10 bit times each) on top.
serial_log 1 | awk -v size="$size" '
    $2 == "RX" && $3 == "04" && $4 == "5C" { erase = 1 }
    $2 == "TX" { lasttx = $1 }
    $2 == "RX" && $4 == "56" && $3 != "1F" && erase { if (!started) { t0 = lasttx; started = 1 } frames++ }
    $2 == "RX" && $3 == "1F" && $4 == "56" && started && !t1 { t1 = lasttx }
    $2 == "RX" && started && !t1 { rxbytes += NF - 2 }
    END {
        if (!t1 || t1 <= t0) { print "no complete transfer in the log"; exit 1 }
        t = t1 - t0
        line = t + rxbytes * 10 / 38400
        printf "frames %d, %d bytes to the writer, %.2f s measured, %.0f B/s\n", frames, rxbytes, t, size / t
        printf "with the line time of the PC side: %.2f s, payload %.0f B/s, %.1f%% of 3390 B/s\n", line, size / line, size / line * 100 / 3390
    }'
stop_pyrograph
serial_stop_emulator 1
