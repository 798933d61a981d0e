#!/usr/bin/env bash
# The cable pulled while Program is busy: the command ends on the lost writer,
# the next Program looks for it again and says it is gone, and once it is
# plugged back the one after that programs.
. "$(dirname "$0")/e2e-lib.sh"
serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

LINK=1001
MESSAGE=1010
PROGRAM=6

rx_frames() { serial_log 1 | awk '$2 == "RX" || $2 == "RX-IGNORED" { d = $2; $1 = ""; $2 = ""; sub(/^ +/, ""); print d, $0 }'; }
scenario cable-pull "$SAMPLE_INI"
python3 - "$SCEN/img.otp" <<'PY'
import struct, sys
def rec(t, body):
    r = bytes([t]) + struct.pack('<H', len(body) + 1) + body
    return r + bytes([(-sum(r)) & 0xFF])
words = b''.join(struct.pack('<H', (i * 0x135) & 0x3FFF) for i in range(140))
open(sys.argv[1], 'wb').write(rec(0xC0, struct.pack('<HH', 0xA6, 0)) +
    rec(0x65, struct.pack('<I', 0) + words) + rec(0x65, struct.pack('<I', 0x8000) + struct.pack('<H', 0x3FFF)))
PY
serial_start_emulator 1 --baud 0
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
check_true "the image is downloaded" wait_message "Download OK!"

serial_control 1 "busy 3000 cmd=59"
ui press Pyrograph $PROGRAM >/dev/null
check_true "Program is busy" wait_message "Programming..." 10
serial_control 1 "unplug"
check_true "the pulled cable ends Program" wait_message "Failed to exit programming mode!" 30
# Pressed as soon as the failure shows: the command is over by then.
before=$(rx_frames | wc -l)
ui press Pyrograph $PROGRAM >/dev/null
check_soon "the next Program says the writer is gone" "Disconnected from the Pyrograph." \
    "ui text Pyrograph $MESSAGE" 20
check "the link text says so too" "Disconnected" "$(ui text Pyrograph $LINK)"
check "it pinged the open port first" "RX-IGNORED 04 5F 00 63" \
    "$(rx_frames | tail -n +$((before + 1)) | head -1)"
check "the search pinged COM1 again" 2 "$(rx_frames | tail -n +$((before + 1)) | grep -c '5F 00 63')"

serial_control 1 "plug"
ui press Pyrograph $PROGRAM >/dev/null
check_true "plugged back, the next Program programs" wait_message "Program OK!" 30
check "and the link is back" "Connected(COM1)" "$(ui text Pyrograph $LINK)"
stop_pyrograph

finish
