#!/usr/bin/env bash
# "&Option..." on a buffer that is not the image of a file: the window writes a
# temporary .otp for the driver's body and the option library reads it.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

ID_OPTION=32771
IDC_OPTION_REPORT=1023

# The default body of the sample settings (PID 0xA6): its driver goes to the
# writer at start-up, then an image that fails part-way leaves its words in the
# buffer without making it the image of a file.
scenario temp-a6 "$SAMPLE_INI"
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/broken.otp"
printf '\x65\x07\x00\x00\x90\x00\x00\x12\x34\x01' >>"$SCEN/broken.otp"  # bad record sum
serial_start_emulator 1 --baud 0
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "the default body's driver is downloaded" "ZK30P11C-4" "ui text Pyrograph 1036"
wait_idle
ui press Pyrograph 1009 >/dev/null
ui wait 'Open File' >/dev/null 2>&1
ui settext 'Open File' 1148 "$(winpath "$SCEN/broken.otp")" >/dev/null
ui click 'Open File' 1 >/dev/null
for i in $(seq 1 200); do ui text Pyrograph 1010 | grep -q "checksum" && break; sleep 0.1; done
ui command Pyrograph $ID_OPTION >/dev/null
report_shown() { ui wait "MCU Option" 8000 >/dev/null; }
check_true "the report opens without a message from the library" report_shown
check "the report names the body" "MCU     Name : ZK30P11C-4" \
    "$(ui text 'MCU Option' $IDC_OPTION_REPORT | tr -d '\r' | sed -n 2p)"
ui click "MCU Option" 1 >/dev/null
check "no message box is left behind" "" "$(dismiss_boxes 500)"
stop_pyrograph
serial_stop_emulator 1

finish
