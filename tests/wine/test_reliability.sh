#!/usr/bin/env bash
# A writer that misbehaves for a long time, commands that arrive inside other
# commands, and a port opened and closed on a starved core.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

IDC_OPEN=1009

# An image of body ZK30P11C-4 (PID/OID A6) with 150 program words; $2 seeds
# the words, so two images differ in every data frame.
make_otp() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
path, seed = sys.argv[1], int(sys.argv[2], 0)
def rec(t, body):
    r = bytes([t]) + struct.pack('<H', len(body) + 1) + body
    return r + bytes([(-sum(r)) & 0xFF])
head = rec(0xC0, struct.pack('<HH', 0xA6, 0))
prog = rec(0x65, struct.pack('<I', 0) + b''.join(struct.pack('<H', (i * seed) & 0x3FFF) for i in range(150)))
opt = rec(0x65, struct.pack('<I', 0x8000) + struct.pack('<H', 0x3FFF))
open(path, 'wb').write(head + prog + opt)
PY
}

rx_frames() { serial_log 1 | awk '$2 == "RX" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
# The frames received since the log had $1 lines.
rx_since() { rx_frames | tail -n +$(($1 + 1)); }

start_downloaded() {  # start_downloaded NAME: the window with a downloaded image
    scenario "$1" "$SAMPLE_INI"
    make_otp "$SCEN/img.otp" 0x135
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

# --- a writer that hangs in its busy phase -----------------------------------
start_downloaded stuck
serial_control 1 "stuck cmd=59"
before=$(rx_frames | wc -l)
t0=$(date +%s)
ui press Pyrograph 6 >/dev/null
check_true "a hung Program ends with Writer is busy." wait_message "Writer is busy." 150
took=$(($(date +%s) - t0))
check_true "it is given up after 30 s without change (took $took s)" test "$took" -ge 29 -a "$took" -le 45
check "programming mode entered, the operation sent once, mode left" \
    "04 5A 00 5E|04 59 04 61|04 5B 00 5F" \
    "$(rx_since "$before" | grep -E '^04 (5A|5B|59)' | paste -sd'|')"
check_soon "the window takes input again" 1 "ui enabled Pyrograph"
check "no message box" "" "$(ui msgbox 500 2>/dev/null)"
ui press Pyrograph 6 >/dev/null
check_true "the next Program on the writer, healthy again, succeeds" wait_message "Program OK!" 30

# Busy far longer than the limit, but with its progress moving: waited out.
serial_control 1 "busy 35000 cmd=59"
t0=$(date +%s)
ui press Pyrograph 7 >/dev/null
# The window's own thread stays free meanwhile: it answers, moves and paints.
check_true "the verify is under way" wait_message "Verifying..." 10
sleep 2
check "during the busy phase the window answers with its current text" "Verifying..." \
    "$(ui text Pyrograph 1010)"
ui move Pyrograph 40 30 >/dev/null
check_soon "and moves when asked" "+40+30" "ui rect Pyrograph | sed 's/^[0-9]*x[0-9]*//'"
sleep 1
screenshot "$SCEN/busy.png"
colours=$(convert "$SCEN/busy.png" -crop "$(ui rect Pyrograph)" +repage -format %k info: 2>/dev/null)
check_true "a screenshot shows it drawn at its new place (${colours:-no} colours)" \
    test "${colours:-0}" -gt 8
check_true "a 35 s verify whose progress moves ends with Verify OK!" wait_message "Verify OK!" 150
check_true "it ran its full length ($(($(date +%s) - t0)) s)" test $(($(date +%s) - t0)) -ge 34
finish_scenario

# --- a download that fails past its erase -------------------------------------
start_downloaded dlfail
# The first data frame passes; the second gets no reply to any of its attempts.
serial_control 1 "fault noreply skip=1 count=3 cmd=56"
ui press Pyrograph 3 >/dev/null
check_true "the download fails" wait_message "Download fail!" 30
ui press Pyrograph 6 >/dev/null
check "Program then asks for a download" \
    $'Pyrograph\nThe current file has not been downloaded,\nDownload it?' "$(ui msgbox 5000)"
ui msgbox-close 6 >/dev/null  # Yes
check_true "the download asked for runs and Program follows" wait_message "Program OK!" 30
left=$(rx_frames | grep -c '^04 5B')
ui press Pyrograph 6 >/dev/null
check "after a good download Program asks nothing" "" "$(ui msgbox 1500 2>/dev/null)"
check_soon "and programs" $((left + 1)) "rx_frames | grep -c '^04 5B'" 30
finish_scenario

# --- Open while a download runs ----------------------------------------------
scenario openduring "$SAMPLE_INI"
make_otp "$SCEN/a.otp" 0x135
make_otp "$SCEN/b.otp" 0x2B1
serial_start_emulator 1 --baud 0
start_pyrograph
ui wait Pyrograph >/dev/null
settle
ui settext Pyrograph 1008 "$(winpath "$SCEN/a.otp")" >/dev/null
# A slow erase, so the download is surely inside it when Open arrives.
serial_control 1 "busy 4000 cmd=5C"
before=$(rx_frames | wc -l)
ui press Pyrograph 3 >/dev/null
for i in $(seq 1 50); do rx_since "$before" | grep -q '^04 5C' && break; sleep 0.1; done
sleep 0.5
check "Open is disabled during the erase" "enabled=0" "$(ui state Pyrograph $IDC_OPEN | cut -d' ' -f1)"
ui command Pyrograph $IDC_OPEN >/dev/null
if ui wait "Open File" 2000 >/dev/null 2>&1; then
    # Not refused: load the other image, as a user would, to show the mix-up.
    check "Open during a download is refused" "no file dialog" "a file dialog"
    ui settext "Open File" 0x47c "$(winpath "$SCEN/b.otp")" >/dev/null
    ui click "Open File" 1 >/dev/null
else
    check "Open during a download is refused" "no file dialog" "no file dialog"
fi
check_true "the download ends OK" wait_message "Download OK!" 30
check "Open is enabled again" "enabled=1" "$(ui state Pyrograph $IDC_OPEN | cut -d' ' -f1)"
want=$(python3 -c "import sys; d = open(sys.argv[1], 'rb').read()[:8]; print(' '.join('%02X' % b for b in d))" "$SCEN/a.otp")
check "the data frames carry the first image's bytes" "$want" \
    "$(rx_since "$before" | grep '^86 56 00 00 00' | tail -1 | cut -d' ' -f6-13)"
check "one download: one erase, three data frames and one driver block" "1 3 1" \
    "$(rx_since "$before" | grep -c '^04 5C') $(rx_since "$before" | grep -E '^[0-9A-F]{2} 56 ' | grep -vc '^1F') $(rx_since "$before" | grep -c '^1F 56')"
check "the driver block names the first image's body" "A6 A6" \
    "$(rx_since "$before" | grep '^1F 56' | cut -d' ' -f8-9)"
check "the path is still the first image" "$(winpath "$SCEN/a.otp")" "$(ui text Pyrograph 1008)"
finish_scenario

# --- the port opened and closed in a tight loop on a starved core -------------
PROBE="$PYRO_WINBIN/linkprobe.exe"
OUT="$SERIAL_DIR/probe.out"
lines() { tr -d '\r' <"$OUT" | grep "^$1 " | cut -d' ' -f2-; }
serial_start_emulator 1 --baud 0
# A busy loop on the probe's core: every open and close waits behind it.
taskset -c 0 sh -c 'while :; do :; done' &
spin_pid=$!
# A thread left running per open port turns 300 closes into minutes: bounded.
taskset -c 0 timeout 120 "$WINE" "$PROBE" connect threads cycle 300 1 threads connect threads \
    query 0x60 writeword 5 0x34 readword 5 polling 0x5A polling 0x5B \
    >"$OUT" 2>"$SERIAL_DIR/probe.err" </dev/null
kill "$spin_pid" 2>/dev/null
wait "$spin_pid" 2>/dev/null
check "300 opens and closes" "300" "$(lines CYCLED)"
check "no thread of the program's own: on the open port, after the loop, after reopening" \
    "0 0 0" "$(lines THREADS | paste -sd' ')"
check "then the writer answers normally" "1|1|0201 00|00|00 0034" \
    "$(lines RESULT | paste -sd'|') $(lines STATUS | paste -sd'|') $(lines WORD)"
check "each command reached the writer once" "1 1 1" \
    "$(rx_frames | grep -c '^08 57 05 00 00 34 00') $(rx_frames | grep -c '^04 5A') $(rx_frames | grep -c '^04 5B')"
check "no error box" "" "$(ui msgbox 500 2>/dev/null; lines BOX)"
serial_stop_emulator 1

finish
