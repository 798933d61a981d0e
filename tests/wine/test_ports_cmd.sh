#!/usr/bin/env bash
# pyrocmd ports: the COM ports of the prefix as Wine's own sources name them
# (its COM links and its serial-device map), a device of the ports class with
# its names, USB adapters with their serials and locations (one without a
# serial, two sharing one) named by usb:, loc: and [Ports] positions in a
# gang run, and --probe telling the writer emulator from a muted one and from
# ports where nothing can be opened. Nothing is sent without --probe.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1 4 12
trap 'for p in COM1 COM4 COM7 COM12; do
          "$WINE" "$PYRO_WINBIN/port_device.exe" remove $p >/dev/null 2>&1
      done
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
    '{"type":"port","layout":1,"port":"COM4","number":4,"friendly_name":"Test Serial Port (COM4)","hardware_id":"TEST\\PYRO_SERIAL","usb":false,"serial":null,"serial_mark":null,"location":null,"sources":["serialcomm","dosdevice","setupapi"]}' \
    "$(echo "$OUT" | grep '"port":"COM4"')"
check "a port only the device manager names is listed" \
    '{"type":"port","layout":1,"port":"COM7","number":7,"friendly_name":"Virtual Port (COM7)","hardware_id":"ROOT\\VPORT","usb":false,"serial":null,"serial_mark":null,"location":null,"sources":["setupapi"]}' \
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

# --- Writers named by their adapters -----------------------------------------
# COM12's cable has a serial, COM4's adapter none; COM1 and COM7 are ports of
# two devices that report the same serial.
device() { "$WINE" "$SCEN/port_device.exe" "$@"; }
hub='PCIROOT(0)#PCI(1400)#USBROOT(0)'
device remove COM4 && device remove COM7
device add COM12 "USB Serial Port (COM12)" 'USB\VID_0403&PID_6001' \
    'USB\VID_0403&PID_6001\A12345' "$hub#USB(2)"
check "a USB cable with a serial is added" 0 "$?"
device add COM4 "USB-SERIAL CH340 (COM4)" 'USB\VID_1A86&PID_7523' \
    'USB\VID_1A86&PID_7523\5&2C1F3A&0&3' "$hub#USB(3)"
check "an adapter without a serial is added" 0 "$?"
device add COM1 "Port A (COM1)" 'USB\VID_0403&PID_6010' 'USB\VID_0403&PID_6010\B777' &&
    device add COM7 "Port B (COM7)" 'USB\VID_0403&PID_6011' 'USB\VID_0403&PID_6011\B777'
check "two ports that report one serial are added" 0 "$?"
pyrocmd ports
check "ports shows the cable's serial and location" \
    "COM12  USB Serial Port (COM12)  USB\VID_0403&PID_6001  usb:A12345  loc:$hub#USB(2)  [serialcomm, dosdevice, setupapi]" \
    "$(echo "$OUT" | grep '^COM12 ')"
check "and marks the adapter that has none" 1 \
    "$(echo "$OUT" | grep -c "^COM4 .*  no USB serial  loc:$hub#USB(3)  ")"
check "and the serial two ports share" "COM1 COM7" \
    "$(echo "$OUT" | grep '  usb:B777 (shared)  ' | awk '{ print $1 }' | paste -sd' ')"
pyrocmd ports --json
check "the JSON object carries them as fields" \
    '"usb":true,"serial":"A12345","serial_mark":null,"location":"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"' \
    "$(echo "$OUT" | grep '"port":"COM12"' | grep -o '"usb".*"location":"[^"]*"')"
check "a shared serial is marked in JSON" 2 "$(echo "$OUT" | grep -c '"serial_mark":"shared"')"

ports_scen=$SCEN
scenario ports-positions "$SAMPLE_INI
[Ports]
Left=usb:A12345
Right=loc:$hub#USB(3)
Twin=usb:B777
[Log]
File=prod.csv"
cp "$ports_scen/port_device.exe" "$SCEN/"
make_image "$SCEN/img.otp"
serial_stop_all
for n in 4 12; do
    serial_start_emulator "$n" --baud 0 --do "chip pid=A6" --do "swap on" --do "timing step=100"
done
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 4 --ports Left,Twin --no-wait
check "a position whose serial two ports share stops the run" 3 "$RC"
check "naming the ports it matched" "pyrocmd: Twin (usb:B777 matches COM1, COM7: it must name one port)" \
    "$ERR"
check "before anything reached a writer" "0 0" "$(asked 4 5F) $(asked 12 5F)"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 4 --ports Left,Right --no-wait
check "a gang over positions named by usb: and loc: exits 0" 0 "$RC"
check "its chips went to the ports of those adapters, the lines naming them" 4 \
    "$(echo "$OUT" | grep -cE '^(COM12 \(Left\)|COM4 \(Right\))  Chip [0-9]+  PASS ')"
check "both writers took chips" "1 1" \
    "$(echo "$OUT" | grep -c '^COM12 (Left)  Passed: [1-9]') $(echo "$OUT" | grep -c '^COM4 (Right)  Passed: [1-9]')"
check "the log names the positions too" "$(echo "$OUT" | grep -c '^COM4 (Right)  Chip ')" \
    "$(grep -c ',COM4 (Right),' "$SCEN/prod.csv")"
pyrocmd detect --port usb:a12345
check "--port takes a serial" "0 Writer on COM12" "$RC $(echo "$OUT" | head -1)"

# --- Command line -------------------------------------------------------------
pyrocmd detect --probe
check "--probe with another command exits 2" "2 pyrocmd: Option --probe does not apply to 'detect': it belongs to 'ports'." \
    "$RC $(echo "$ERR" | head -1)"
pyrocmd ports COM4
check "ports takes no argument" 2 "$RC"
pyrocmd --help
check "--help names the command" 1 "$(echo "$OUT" | grep -c '^  ports ')"

finish
