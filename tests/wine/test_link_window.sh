#!/usr/bin/env bash
# Detect Connect of the main window against the writer emulator: the search at
# start-up, a second detect on a live link, a writer moved to another port and
# no writer at all.
. "$(dirname "$0")/e2e-lib.sh"
. "$PYRO_ROOT/tests/wine/serial-env.sh"
serial_build_shim
serial_preload
serial_setup 1 2 3
trap "serial_stop_all; serial_park" EXIT

LINK=1001
VERSION=1003
MESSAGE=1010
DETECT=32778

# Polls a control until it shows the text (or the seconds run out); prints the last text.
wait_text() {  # wait_text ID TEXT SECS
    local i t=""
    for i in $(seq 1 $(($3 * 10))); do
        t=$(ui text Pyrograph "$1")
        [ "$t" = "$2" ] && break
        sleep 0.1
    done
    printf '%s' "$t"
}

serial_start_emulator 1 --muted
serial_start_emulator 2
serial_start_emulator 3 --muted
scenario link-window "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
seen=$(wait_text $LINK "Detecting COM1..." 5)
check "the search shows COM1 while nothing answers there" "Detecting COM1..." "$seen"
check "connected on COM2 after the start-up detect" "Connected(COM2)" "$(wait_text $LINK "Connected(COM2)" 10)"
check "version text" "Software(V1.2), Firmware(V0102)" "$(ui text Pyrograph $VERSION)"
check "COM3 is not tried" 0 "$(serial_log 3 | grep -c RX)"
# The first detect goes on to the driver check: it reads the driver area and,
# finding none in the fresh emulator, sends one.
wait_text $MESSAGE "Download driver OK!" 10 >/dev/null
check "the first detect reads the driver area once" 1 \
    "$(serial_log 2 | grep -c ' RX 07 51 00 FF 03 20 7A')"

sent_before=$(serial_log 2 | grep -c ' RX ')
serial_control 2 "firmware 03 04"
ui command Pyrograph $DETECT >/dev/null
check "a second detect refreshes the version" "Software(V1.2), Firmware(V0304)" \
    "$(wait_text $VERSION "Software(V1.2), Firmware(V0304)" 5)"
sleep 0.3
check "the second detect only pings and asks the version" "04 5F 00 63|04 60 00 64" \
    "$(serial_log 2 | grep ' RX ' | tail -n +$((sent_before + 1)) | cut -d' ' -f3- | paste -sd'|')"
check "COM1 is not searched again" 1 "$(serial_log 1 | grep -c RX-IGNORED)"

# The writer goes quiet on COM2 and turns up on COM3.
serial_control 2 "unplug"
serial_control 3 "plug"
sleep 0.2
ui command Pyrograph $DETECT >/dev/null
check "a quiet writer is searched for again" "Connected(COM3)" "$(wait_text $LINK "Connected(COM3)" 10)"
stop_pyrograph
serial_stop_all

# No writer on any port.
serial_start_emulator 1 --muted
serial_start_emulator 2 --muted
serial_start_emulator 3 --muted
scenario link-window-none "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
check "link text without a writer" "Disconnected" "$(wait_text $LINK "Disconnected" 10)"
check "message line without a writer" "Disconnected from the Pyrograph." "$(ui text Pyrograph $MESSAGE)"
check "every port got a ping" "1 1 1" \
    "$(for n in 1 2 3; do serial_log $n | grep -c RX-IGNORED; done | paste -sd' ')"
stop_pyrograph

finish
