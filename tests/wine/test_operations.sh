#!/usr/bin/env bash
# Download, driver block, chip operations and serial numbers against the writer
# emulator, checked through the window's texts and the emulator's frame log.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1
# Leave the ports unmapped for the scripts that follow.
trap 'serial_stop_all; serial_setup' EXIT

# make_otp PATH TOTAL-BYTES [WORD-MASK]: an image of body ZK30P11C-4 (PID/OID
# A6) whose file is exactly TOTAL bytes: header, program record, one option word.
make_otp() {
    python3 - "$1" "$2" "${3:-0x3FFF}" <<'PY'
import struct, sys
path, total, mask = sys.argv[1], int(sys.argv[2]), int(sys.argv[3], 0)
def rec(t, body):
    r = bytes([t]) + struct.pack('<H', len(body) + 1) + body
    return r + bytes([(-sum(r)) & 0xFF])
head = rec(0xC0, struct.pack('<HH', 0xA6, 0))
opt = rec(0x65, struct.pack('<I', 0x8000) + struct.pack('<H', 0x3FFF))
n = (total - len(head) - len(opt) - 8) // 2
prog = rec(0x65, struct.pack('<I', 0) + b''.join(struct.pack('<H', (i * 0x135) & mask) for i in range(n)))
data = head + prog + opt
assert len(data) == total, len(data)
open(path, 'wb').write(data)
PY
}

# Lines of the frame log received by the emulator, without the time stamps.
rx_frames() { serial_log 1 | awk '$2 == "RX" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
# The command frames received with code $1 (hex, upper case).
rx_code() { rx_frames | awk -v c="$1" '$2 == c'; }
# Frames of code $1 since the last flash erase (the current download).
dl_code() { rx_frames | awk -v c="$1" '/^04 5C 00 60$/ { n = 0; delete f } $2 == c { f[++n] = $0 } END { for (i = 1; i <= n; i++) print f[i] }'; }

# wait_message TEXT [SECS]: until the message line shows TEXT.
# start_downloaded NAME INI [WORD-MASK]: the emulator at full speed and the
# window started with a 300-byte image, which it has downloaded.
start_downloaded() {
    scenario "$1" "$2"
    make_otp "$SCEN/img.otp" 300 ${3:+"$3"}
    serial_start_emulator 1 --baud 0
    start_pyrograph "$(winpath "$SCEN/img.otp")"
    ui wait Pyrograph >/dev/null
    wait_message "Download OK!" >/dev/null
}

finish_scenario() {
    stop_pyrograph
    serial_stop_emulator 1
    cp "$SERIAL_DIR/com1.log" "$SCEN/writer.log" 2>/dev/null || true
}

EMU_OPTS=(--baud 0)

# --- Download: 300-byte file, frames, progress, driver block -----------------
scenario dl300 "$SAMPLE_INI"
make_otp "$SCEN/img300.otp" 300
serial_start_emulator 1 "${EMU_OPTS[@]}"
start_pyrograph "$(winpath "$SCEN/img300.otp")"
ui wait Pyrograph >/dev/null
check_true "download of a 300-byte file ends OK" wait_message "Download OK!"
check "three data frames of 128, 128 and 44 bytes at 0, 128, 256" \
    "86 56 00 00 00|86 56 80 00 00|32 56 00 01 00" \
    "$(dl_code 56 | cut -d' ' -f1-5 | head -3 | paste -sd'|')"
driver=$(dl_code 56 | sed -n 4p)
check "then the 31-byte driver block at 0x03FF00" "1F 56 00 FF 03 55 AA A6 A6 00" \
    "$(echo "$driver" | cut -d' ' -f1-10)"
check "driver block carries AutoInc and the default [Time] codes" "01 75 2A 18 04 0A" \
    "$(echo "$driver" | cut -d' ' -f24-29)"
check "then operation 0x40" "04 59 40 9D" \
    "$(rx_frames | awk '/^1F 56/ { seen = 1; next } seen && $0 != "03 5E 61" { print; exit }')"
check "the file's own bytes are sent" "C0 05 00 A6" "$(dl_code 56 | head -1 | cut -d' ' -f6-9)"
check "driver text names the body" "ZK30P11C-4" "$(ui text Pyrograph 1036)"

# [Time] WritePulse changed while the program runs: the next block follows it.
printf '[Time]\r\nWritePulse=1716\r\n' >>"$SCEN/Larkspur.ini"
blocks=$(rx_code 56 | grep -c '^1F')
ui press Pyrograph 3 >/dev/null
check_soon "second download sends a new driver block" $((blocks + 1)) "rx_code 56 | grep -c '^1F'" 30
check_true "second download ends OK" wait_message "Download OK!"
check "write pulse code follows the file" "64" "$(dl_code 56 | grep '^1F 56' | tail -1 | cut -d' ' -f27)"
finish_scenario

# --- Download: an empty file still gets a driver block -----------------------
scenario dl0 "$SAMPLE_INI"
: >"$SCEN/empty.otp"
serial_start_emulator 1 "${EMU_OPTS[@]}"
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/empty.otp")" >/dev/null
ui press Pyrograph 3 >/dev/null
check_true "download of an empty file ends OK" wait_message "Download OK!"
check "no data frame, only the driver block" "1F" "$(dl_code 56 | cut -d' ' -f1 | paste -sd' ')"
finish_scenario

# --- Download: a file name outside the ANSI code page ------------------------
scenario dlname "$SAMPLE_INI"
make_otp "$SCEN/образ.otp" 300
serial_start_emulator 1 "${EMU_OPTS[@]}"
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/образ.otp")" >/dev/null
ui press Pyrograph 3 >/dev/null
check_true "a file named in Cyrillic downloads" wait_message "Download OK!"
check "its three frames are sent" 3 "$(dl_code 56 | grep -vc '^1F')"
finish_scenario

# --- Download: the second frame fails after its retries ----------------------
scenario dlfail "$SAMPLE_INI"
make_otp "$SCEN/img300.otp" 300
serial_start_emulator 1 --baud 9600
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/img300.otp")" >/dev/null
# The first data frame passes; the second gets no reply to any of its attempts.
serial_control 1 "fault noreply skip=1 count=3 cmd=56"
ui press Pyrograph 3 >/dev/null
check_true "failed transfer ends with Download fail!" wait_message "Download fail!" 30
check "second frame sent three times, then no third frame and no driver block" \
    "86 56 00 00 00|86 56 80 00 00|86 56 80 00 00|86 56 80 00 00" \
    "$(dl_code 56 | cut -d' ' -f1-5 | paste -sd'|')"
# The erase went out, so the flag is cleared (test_reliability.sh: Program asks).
finish_scenario

# --- Driver read-back with a wrong byte 24: erase and a new block -----------
scenario drvcheck "$SAMPLE_INI"
serial_start_emulator 1 "${EMU_OPTS[@]}"
start_pyrograph
ui wait Pyrograph >/dev/null
settle
check "first connect with no driver sends one" "1" "$(rx_code 5D | wc -l)"
finish_scenario

# --- Driver read-back with 55 AA but a wrong byte 24 -------------------------
# A raw file reaching into the driver area leaves 55 AA and a byte 24 of 00
# there; the block written over it cannot set bits again, so that download
# fails, and the next check finds the broken block.
scenario drvbad "$SAMPLE_INI"
python3 - "$SCEN/fill.bin" <<'PY'
import sys
data = bytearray(b'\xff' * 0x3FF20)
data[0x3FF00:0x3FF02] = b'\x55\xaa'
data[0x3FF18] = 0
open(sys.argv[1], 'wb').write(data)
PY
serial_start_emulator 1 --baud 0
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/fill.bin")" >/dev/null
ui press Pyrograph 3 >/dev/null
check_true "a block written over the filled area fails" wait_message "Download fail!" 120
before=$(rx_frames | wc -l)
ui press Pyrograph 5 >/dev/null
check_true "Blank Check runs after the repair" wait_message "Blank!" 30
check "read-back, erase of the driver sector, new block, operation 0x40" \
    "07 51 00 FF 03 20 7A|04 5D 3F A0|1F 56|04 59 40 9D" \
    "$(rx_frames | tail -n +$((before + 1)) | grep -E '^(07 51|04 5D|1F 56|04 59)' | head -4 | sed 's/^\(1F 56\).*/\1/' | paste -sd'|')"
check "the new block names the body" "ZK30P11C-4" "$(ui text Pyrograph 1036)"
finish_scenario

# --- Auto ------------------------------------------------------------------
# op_masks: the operation masks sent since the log began, blank-separated.
op_masks() { rx_code 59 | cut -d' ' -f3 | paste -sd' '; }

start_downloaded autodef "$SAMPLE_INI"
ui press Pyrograph 4 >/dev/null
check_true "Auto with the default steps succeeds" wait_message "Blank Check/Programming/Verify OK!" 30
check "one operation with mask 0x0E after the driver's 0x40" "40 0E" "$(op_masks)"
check_soon "programming mode entered and left around it" "04 5A 00 5E|04 59 0E 6B|04 5B 00 5F" \
    "rx_frames | grep -E '^04 (5A|5B|59 0E)' | paste -sd'|'"
finish_scenario

INI_PV="$SAMPLE_INI
[Auto]
Blank=0"
start_downloaded autopv "$INI_PV"
ui press Pyrograph 4 >/dev/null
check_true "Auto with Program and Verify reports both" wait_message "Programming/Verify OK!" 30
check "mask 0x0C" "40 0C" "$(op_masks)"
finish_scenario

INI_LOCK="$SAMPLE_INI
[Auto]
Blank=0
Program=0
Verify=0
Lock=1"
scenario autolock "$INI_LOCK"
serial_start_emulator 1 --baud 0
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui press Pyrograph 4 >/dev/null
check_true "Auto with only Lock and an empty buffer locks" wait_message "Lock OK!" 30
check "mask 0x10" "40 10" "$(op_masks)"
finish_scenario

# --- Check ID with a wrong chip ----------------------------------------------
INI_ID="${SAMPLE_INI/ver=new/ver=new
CheckID=1}"
scenario checkid "$INI_ID"
serial_start_emulator 1 --baud 0 --do "chip pid=A0 power=A0 soft=A0 rom=800 opt=1 locked=0"
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui press Pyrograph 8 >/dev/null
check_true "a wrong chip ends with ID Mismatch!" wait_message "ID Mismatch!" 30
check_soon "ID check, then programming mode left" "04 5A 00 5E|04 59 01 5E|04 5B 00 5F" \
    "rx_frames | grep -E '^04 (5A|5B|59 01)' | paste -sd'|'"
check "no lock step" "40 01" "$(op_masks)"
finish_scenario

# --- Serial numbers --------------------------------------------------------
INI_SN="$SAMPLE_INI
[Serial]
Enable=1
Data=305419896"
start_downloaded serialprog "$INI_SN" 0x3F00
ui press Pyrograph 6 >/dev/null
check_true "Program with serial numbers succeeds" wait_message "Program OK!" 30
check "the four serial words are read blank first" "01 00 00|02 00 00|03 00 00|07 00 00" \
    "$(rx_code 52 | cut -d' ' -f3-5 | paste -sd'|')"
check "the chip gets 0x0078, 0x0056, 0x0034, 0x0012 at 1, 2, 3, 7" \
    "01 00 00 78 00|02 00 00 56 00|03 00 00 34 00|07 00 00 12 00" \
    "$(rx_code 57 | cut -d' ' -f3-7 | paste -sd'|')"
check_soon "the label shows the next number" "S/N:12345679H" "ui text Pyrograph 1002"
stop_pyrograph
serial_stop_emulator 1
check "the next number is stored at exit" "305419897" "$(ini_value Serial Data)"

start_downloaded serialwrap "${INI_SN/Data=305419896/Data=4294967295}" 0x3F00
ui press Pyrograph 6 >/dev/null
wait_message "Program OK!" 30 >/dev/null
check_soon "FFFFFFFFH, the last number, never wraps to 0" "S/N:FFFFFFFFH" "ui text Pyrograph 1002"
# A second chip in the same socket is no longer blank at those words.
ui press Pyrograph 6 >/dev/null
box=$(ui msgbox-close 1 20000 | tail -1)
check "a programmed chip's serial words are not blank" "S/N address are not blank in the OTP chip!" "$box"
finish_scenario

# --- Chip Info ---------------------------------------------------------------
scenario chipinfo "$SAMPLE_INI"
serial_start_emulator 1 --baud 0 --do "chip pid=A6 power=A0 soft=A0 rom=800 opt=1 locked=1"
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui press Pyrograph 10 >/dev/null
info=$(ui msgbox-close 1 20000)
check "Chip Info names the body and the lock" \
    $'Pyrograph\nMCU:ZK20P08B\nPower-on ID: A0H\n\nSoftware ID: A0H\nROM Size: 0800H\nOPT Size: 01H\n\nChip is locked!' \
    "$info"
finish_scenario

finish
