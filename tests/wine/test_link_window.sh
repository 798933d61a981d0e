#!/usr/bin/env bash
# Detect Connect of the main window against the writer emulator: the search at
# start-up, a second detect on a live link, a writer moved to another port and
# no writer at all.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1 2 3
trap "serial_stop_all; serial_park" EXIT

LINK=1001
VERSION=1003
MESSAGE=1010
DETECT=32778

serial_start_emulator 1 --muted
serial_start_emulator 2
serial_start_emulator 3 --muted
scenario link-window "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "the search shows COM1 while nothing answers there" "Detecting COM1..." "ui text Pyrograph $LINK" 5
check_soon "connected on COM2 after the start-up detect" "Connected(COM2)" "ui text Pyrograph $LINK" 10
check "version text" "Software(V1.2), Firmware(V0102)" "$(ui text Pyrograph $VERSION)"
# The first connection goes on to check the writer's driver block; a fresh writer has
# none, so one is sent.
check_soon "the first connection checks the driver" "Download driver OK!" \
    "ui text Pyrograph $MESSAGE" 10
check "COM3 is not tried" 0 "$(serial_log 3 | grep -c RX)"

# The driver's operation is polled after its message shows: the count starts
# once the line has been quiet for a while.
n=$(serial_log 2 | grep -c ' RX ')
for i in $(seq 1 50); do
    sleep 0.3
    m=$(serial_log 2 | grep -c ' RX ')
    [ "$m" = "$n" ] && break
    n=$m
done
serial_control 2 "firmware 03 04"
before=$(serial_log 2 | grep -c ' RX ')
ui command Pyrograph $DETECT >/dev/null
check_soon "a second detect refreshes the version" "Software(V1.2), Firmware(V0304)" \
    "ui text Pyrograph $VERSION" 5
sleep 0.3
check "the second detect only pings and asks the version" "04 5F 00 63|04 60 00 64" \
    "$(serial_log 2 | grep ' RX ' | tail -n +$((before + 1)) | cut -d' ' -f3- | paste -sd'|')"
check "COM1 is not searched again" 1 "$(serial_log 1 | grep -c RX-IGNORED)"

# The writer goes quiet on COM2 and turns up on COM3.
serial_control 2 "unplug"
serial_control 3 "plug"
sleep 0.2
ui command Pyrograph $DETECT >/dev/null
check_soon "a quiet writer is searched for again" "Connected(COM3)" "ui text Pyrograph $LINK" 10
stop_pyrograph
serial_stop_all

# No writer on any port.
serial_start_emulator 1 --muted
serial_start_emulator 2 --muted
serial_start_emulator 3 --muted
scenario link-window-none "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "link text without a writer" "Disconnected" "ui text Pyrograph $LINK" 10
check "message line without a writer" "Disconnected from the Pyrograph." "$(ui text Pyrograph $MESSAGE)"
check "every port got a ping" "1 1 1" \
    "$(for n in 1 2 3; do serial_log $n | grep -c RX-IGNORED; done | paste -sd' ')"
stop_pyrograph

finish
