#!/usr/bin/env bash
# The writer link under Wine: serial port, port search and reply handling
# against the writer emulator on mapped COM ports (link probe program).
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1 2 3
trap "serial_stop_all; serial_park" EXIT

PROBE="$PYRO_WINBIN/linkprobe.exe"
OUT="$SERIAL_DIR/probe.out"

# Straight to the file: a pipe would hold the lines back until the probe ends.
probe() { "$WINE" "$PROBE" "$@" >"$OUT" 2>>"$SERIAL_DIR/probe.err" </dev/null; echo "rc $?" >>"$SERIAL_DIR/probe.err"; }
lines() { tr -d '\r' <"$OUT" | grep "^$1 " | cut -d' ' -f2-; }
rx_count() { serial_log "$1" | grep -c " RX${2:-} " || true; }
joined() { paste -sd'|'; }

# Writer on COM2; COM1 and COM3 open but nothing answers there.
serial_start_emulator 1 --muted
serial_start_emulator 2
serial_start_emulator 3 --muted
probe detect detect
check "search passes COM1 and COM2 and stops there" \
    "Detecting COM1...|Detecting COM2...|Connected(COM2)" "$(lines LINK | joined)"
check "messages of a successful search" \
    "Connecting to Pyrograph...|Connect with Pyrograph." "$(lines MESSAGE | joined)"
check "version text with firmware 01 02" "Software(V1.2), Firmware(V0102)" "$(lines VERSION | head -1)"
check "COM1 was asked for a ping" 1 "$(rx_count 1 -IGNORED)"
check "COM3 is not tried" 0 "$(serial_log 3 | grep -c RX)"
check "a second detect only pings and asks the version" \
    "04 5F 00 63|04 60 00 64|04 5F 00 63|04 60 00 64" \
    "$(serial_log 2 | grep ' RX ' | cut -d' ' -f3- | joined)"
check "driver check only after the first detect" 1 "$(lines DRIVERCHECK | wc -l)"
check "both detects succeed" "1|1" "$(lines RESULT | joined)"

# Reply faults on a live link.
serial_control 2 "fault badsum cmd=57"
serial_control 2 "fault double cmd=60"
serial_control 2 "fault garbage bytes=A5 cmd=52"
serial_control 2 "word 7 1234"
probe ensure writeword 8 0x34 query 0x60 readword 7 readword 7
check "a reply with a wrong sum is sent again" 2 "$(serial_log 2 | grep -c ' RX 08 57 08 00 00 34 00 9B')"
check "the resent command succeeds" "00" "$(lines STATUS)"
check "two replies back to back decode from the first" "0201" "$(lines RESULT | tail -1)"
check "garbage before a reply fails the read, the next read is good" "0000|1234" \
    "$(lines WORD | joined)"
serial_stop_all

# No writer anywhere: all three ports are tried.
serial_start_emulator 1 --muted
serial_start_emulator 2 --muted
serial_start_emulator 3 --muted
probe detect
check "all three ports are tried" \
    "Detecting COM1...|Detecting COM2...|Detecting COM3...|Disconnected" "$(lines LINK | joined)"
check "message after a failed search" "Disconnected from the Pyrograph." "$(lines MESSAGE | tail -1)"
check "each port got one ping" "1 1 1" "$(rx_count 1 -IGNORED) $(rx_count 2 -IGNORED) $(rx_count 3 -IGNORED)"
check "no version and no driver check without a writer" "0" "$(lines VERSION | wc -l)$(lines DRIVERCHECK | wc -l | tr -d 0)"
serial_stop_all

# Unplugged between two operations: searched again before the next one.
serial_start_emulator 1 --muted
serial_start_emulator 2
serial_start_emulator 3 --muted
flag="$SERIAL_DIR/replugged"
rm -f "$flag"
: >"$OUT"
probe ensure waitfile "$(winpath "$flag")" ensure polling 0x5A &
probe_pid=$!
for i in $(seq 1 100); do grep -q '^RESULT' "$OUT" 2>/dev/null && break; sleep 0.1; done
serial_control 2 "unplug"
serial_control 3 "plug"
sleep 0.2
touch "$flag"
wait_pid "$probe_pid" 30
check "the unplugged writer is searched for again" \
    "Detecting COM1...|Detecting COM2...|Connected(COM2)|Detecting COM1...|Detecting COM2...|Detecting COM3...|Connected(COM3)" \
    "$(lines LINK | joined)"
check "the operation runs on the writer found" 1 "$(serial_log 3 | grep -c ' RX 04 5A 00 5E')"
check "the operation succeeds" "00" "$(lines STATUS)"
serial_stop_all

finish
