#!/usr/bin/env bash
# pyrocmd ports: the COM ports of the prefix as Wine's own sources name them
# (its COM links and its serial-device map), a device of the ports class with
# its names, and --probe telling the writer emulator from a muted one and from
# ports where nothing can be opened. Nothing is sent without --probe.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1 4 12
trap '"$WINE" "$PYRO_WINBIN/port_device.exe" remove COM4 >/dev/null 2>&1
      "$WINE" "$PYRO_WINBIN/port_device.exe" remove COM7 >/dev/null 2>&1
      serial_stop_all; serial_setup' EXIT
# COM1 leads to a path nobody serves; COM12's writer is plugged in and says nothing.
serial_start_emulator 4
serial_start_emulator 12 --muted
# No settings file: listing ports needs none.
scenario ports-cmd

# What Wine made of the mapping, the expectation to compare with: its COM
# links (it may add one of its own for the machine's serial port) and the
# ports its serial-device map names.
wine_links() { ls "$WINEPREFIX/dosdevices" | sed -n 's/^com\([0-9]*\)$/\1/p' | sort -n | sed 's/^/COM/'; }
device_map() {
    "$WINE" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' |
        awk '$2 == "REG_SZ" { print $3 }' | sed 's/^COM//' | sort -n | sed 's/^/COM/'
}
# The ports of the listing in $OUT whose sources name $1 (all with no argument).
listed() { echo "$OUT" | awk -v s="$1" 'index($0, s) { print $1 }'; }
# asked N CODE: frames of command CODE that reached COMN's emulator, muted or not.
asked() { serial_log "$1" | awk -v c="$2" '$2 ~ /^RX/ && $4 == c' | wc -l; }

# --- Listing ------------------------------------------------------------------
pyrocmd ports
check "ports exits 0" 0 "$RC"
check "every source could be read" "" "$ERR"
check "the mapped ports are listed" "COM1 COM4 COM12" \
    "$(listed | grep -xE 'COM(1|4|12)' | paste -sd' ')"
# A link Wine left from an earlier mapping may stay in the folder without Wine
# naming it as a device: the listing holds what Wine names, all of it linked.
check "the DOS names are Wine's COM links" "" \
    "$(comm -23 <(listed dosdevice | sort) <(wine_links | sort))"
check "in the order of their numbers" "$(listed | sed 's/^COM//' | sort -n | sed 's/^/COM/')" \
    "$(listed)"
first=$(listed)
check "Wine's serial-device map names the mapped ports" "COM1 COM4 COM12" \
    "$(device_map | grep -xE 'COM(1|4|12)' | paste -sd' ')"
check "its ports are marked as from that map" "$(device_map)" "$(listed serialcomm)"
check "a port of Wine's has no device names" "COM12  [serialcomm, dosdevice]" \
    "$(echo "$OUT" | grep '^COM12 ')"
check "listing asks no port" "0 0" "$(asked 4 5F) $(asked 12 5F)"

# Wine has no devices of the ports class: these stand in for a driver's.
"$WINE" "$SCEN/port_device.exe" add COM4 "Test Serial Port (COM4)" 'TEST\PYRO_SERIAL'
check "a ports-class device for COM4 is added" 0 "$?"
"$WINE" "$SCEN/port_device.exe" add COM7 "Virtual Port (COM7)" 'ROOT\VPORT'
check "and one for COM7, which has no COM link" 0 "$?"
pyrocmd ports --json
check "ports --json exits 0" 0 "$RC"
check "the device's names join COM4's entry" \
    '{"type":"port","layout":1,"port":"COM4","number":4,"friendly_name":"Test Serial Port (COM4)","hardware_id":"TEST\\PYRO_SERIAL","sources":["serialcomm","dosdevice","setupapi"]}' \
    "$(echo "$OUT" | grep '"port":"COM4"')"
check "a port only the device manager names is listed" \
    '{"type":"port","layout":1,"port":"COM7","number":7,"friendly_name":"Virtual Port (COM7)","hardware_id":"ROOT\\VPORT","sources":["setupapi"]}' \
    "$(echo "$OUT" | grep '"port":"COM7"')"
check "one object per port, in the order of their numbers" \
    "$( (echo "$first"; echo COM7) | sed 's/^COM//' | sort -nu | sed 's/^/COM/' | paste -sd' ')" \
    "$(echo "$OUT" | sed 's/.*"port":"\(COM[0-9]*\)".*/\1/' | paste -sd' ')"

# --- Probe --------------------------------------------------------------------
pyrocmd ports --probe
check "ports --probe with a writer exits 0" 0 "$RC"
check "the emulator's port is marked with its versions" \
    'COM4  writer: Software(V1.2), Firmware(V0102)  Test Serial Port (COM4)  TEST\PYRO_SERIAL  [serialcomm, dosdevice, setupapi]' \
    "$(echo "$OUT" | grep '^COM4 ')"
check "the muted emulator's port is listed, not marked" "COM12  no writer  [serialcomm, dosdevice]" \
    "$(echo "$OUT" | grep '^COM12 ')"
check "a port with no COM link cannot be opened" \
    'COM7  cannot be opened  Virtual Port (COM7)  ROOT\VPORT  [setupapi]' \
    "$(echo "$OUT" | grep '^COM7 ')"
check "only one port is marked" 1 "$(echo "$OUT" | grep -c '  writer: ')"
check "each emulator was pinged once; only the writer was asked its version" "1 1 1 0" \
    "$(asked 4 5F) $(asked 4 60) $(asked 12 5F) $(asked 12 60)"

serial_control 4 "firmware 03 04"
pyrocmd ports --probe --json
check "ports --probe --json exits 0" 0 "$RC"
check "the writer's object gives its firmware" \
    '"writer":true,"firmware":"V0304","version":"Software(V1.2), Firmware(V0304)"}' \
    "$(echo "$OUT" | grep '"port":"COM4"' | grep -o '"writer".*')"
check "the muted one's says none" '"opened":true,"writer":false,"firmware":null,"version":null}' \
    "$(echo "$OUT" | grep '"port":"COM12"' | grep -o '"opened".*')"

serial_control 4 unplug
pyrocmd ports --probe
check "ports --probe with no writer answering exits 3" 3 "$RC"
check "and says the ports it asked" "pyrocmd: no writer answers on $(listed | paste -sd, | sed 's/,/, /g')" \
    "$(echo "$ERR" | tail -1)"
check "every port is still listed" "$( (echo "$first"; echo COM7) | sort -u | wc -l)" "$(listed | wc -l)"
pyrocmd ports
check "without --probe the same PC exits 0" 0 "$RC"

# --- Command line -------------------------------------------------------------
pyrocmd detect --probe
check "--probe with another command exits 2" "2 pyrocmd: Option --probe belongs to 'ports'." \
    "$RC $(echo "$ERR" | head -1)"
pyrocmd ports COM4
check "ports takes no argument" 2 "$RC"
pyrocmd --help
check "--help names the command" 1 "$(echo "$OUT" | grep -c '^  ports ')"

finish
