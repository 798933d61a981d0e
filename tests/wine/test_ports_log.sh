#!/usr/bin/env bash
# [Setting] Ports and the production log in the window against the writer
# emulator: a writer on COM7 and on COM12, a line per chip operation beside the
# program, and a refused port list said once.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1 7 12
trap 'serial_stop_all; serial_setup' EXIT

LINK=1001
MESSAGE=1010
FILE_PATH=1008
CHECKSUM=1034
DETECT=32778

# A 300-byte image of body ZK30P11C-4 (PID/OID A6).
make_otp() {
    python3 - "$1" <<'PY'
import struct, sys
def rec(t, body):
    r = bytes([t]) + struct.pack('<H', len(body) + 1) + body
    return r + bytes([(-sum(r)) & 0xFF])
head = rec(0xC0, struct.pack('<HH', 0xA6, 0))
opt = rec(0x65, struct.pack('<I', 0x8000) + struct.pack('<H', 0x3FFF))
n = (300 - len(head) - len(opt) - 8) // 2
prog = rec(0x65, struct.pack('<I', 0) + b''.join(struct.pack('<H', (i * 0x135) & 0x3FFF) for i in range(n)))
open(sys.argv[1], 'wb').write(head + prog + opt)
PY
}

# The sample settings with one more [Setting] key ($1).
ini_with() { printf '%s' "$SAMPLE_INI" | sed "/^\[Setting\]/a $1"; }

# --- A writer on COM7, found with Ports=7 --------------------------------------
serial_start_emulator 1 --muted
serial_start_emulator 7 --baud 0
scenario ports-com7 "$(ini_with Ports=7)"
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "the writer on COM7 is found" "Connected(COM7)" "ui text Pyrograph $LINK" 10
check_soon "and its driver is checked" "Download driver OK!" "ui text Pyrograph $MESSAGE" 20
check "COM1 is not searched" 0 "$(serial_log 1 | grep -c RX)"
stop_pyrograph
serial_stop_all

# --- COM12 by its device name, and a log line for Auto -------------------------
serial_start_emulator 12 --baud 0
scenario ports-log "$(ini_with Ports=12)
[Log]
File=prod.csv"
make_otp "$SCEN/img.otp"
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
check_true "the image is downloaded to the writer on COM12" wait_message "Download OK!" 30
check "link text names COM12" "Connected(COM12)" "$(ui text Pyrograph $LINK)"
check "a download writes no log line" "no" "$([ -e "$SCEN/prod.csv" ] && echo yes || echo no)"
ui press Pyrograph 4 >/dev/null
check_true "Auto passes" wait_message "Blank Check/Programming/Verify OK!" 30
sleep 0.3
check "the log beside the program: its header and one line" 2 \
    "$(tr -cd '\n' <"$SCEN/prod.csv" 2>/dev/null | wc -c)"
line=$(sed -n 2p "$SCEN/prod.csv" | tr -d '\r')
check "columns after the time" \
    "Pyrograph,COM12,V0102,$(ui text Pyrograph $FILE_PATH),$(ui text Pyrograph $CHECKSUM),ZK30P11C-4,Auto,,,Blank Check/Programming/Verify OK!,PASS,,,3" \
    "${line#*,}"
check_true "the time is ISO 8601 with its offset" \
    grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}$' \
    <<<"${line%%,*}"

# The chip is no longer blank: a failing Blank Check gives a FAIL line.
ui press Pyrograph 5 >/dev/null
sleep 0.5
settle
failed=$(ui text Pyrograph $MESSAGE)
check_soon "the failure is logged with its text" "Blank Check,,,$failed,FAIL,,,3" \
    "sed -n 3p '$SCEN/prod.csv' | tr -d '\r' | cut -d, -f8-" 5
stop_pyrograph
serial_stop_all

# --- A refused port list: the default search, said once -------------------------
serial_start_emulator 1 --baud 0
scenario ports-bad "$(ini_with Ports=7,x)"
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "the default ports are searched" "Connected(COM1)" "ui text Pyrograph $LINK" 10
check_soon "the refusal follows the search's texts" \
    "Download driver OK! Invalid Ports in 'Larkspur.ini', set to default: COM1, COM2, COM3" \
    "ui text Pyrograph $MESSAGE" 20
# The writer goes quiet and comes back: a second search says nothing about the list.
serial_control 1 "unplug"
ui command Pyrograph $DETECT >/dev/null
check_soon "a search without the writer" "Disconnected" "ui text Pyrograph $LINK" 10
serial_control 1 "plug"
ui command Pyrograph $DETECT >/dev/null
check_soon "the next search keeps quiet about the list" "Connect with Pyrograph." \
    "ui text Pyrograph $MESSAGE" 10
stop_pyrograph

finish
