#!/usr/bin/env bash
# Serial numbers: the Serial Number dialog, its checks, the S/N label and what
# the window stores at exit.
. "$(dirname "$0")/e2e-lib.sh"

INI_SERIAL="$SAMPLE_INI
[Serial]
Data=305419896"
SN="Serial Number"

sn_texts() {  # the eight edits: addresses then data, blank-separated
    local id out=""
    for id in 1022 1024 1026 1028 1023 1025 1027 1029; do out+="$(ui text "$SN" $id) "; done
    echo "${out% }"
}

sn_set() {  # sn_set ADDR0 ADDR1 ADDR2 ADDR3 DATA0 DATA1 DATA2 DATA3
    local ids=(1022 1024 1026 1028 1023 1025 1027 1029) i
    for i in 0 1 2 3 4 5 6 7; do ui settext "$SN" "${ids[$i]}" "${@:$((i + 1)):1}" >/dev/null; done
}

# sn_ok_box: press OK and read the message box that it raises.
sn_ok_box() {
    ui click "$SN" 1 >/dev/null
    ui msgbox-close 1 3000 | tail -1
}

scenario serial "$INI_SERIAL"
start_pyrograph
ui wait Pyrograph >/dev/null
# The start-up search for the writer finds none; wait until it has given up.
# Ports that open but fail report it in a box of their own: answer it.
for i in $(seq 1 100); do
    [ "$(ui text Pyrograph 1001)" = Disconnected ] && break
    ui msgbox-close 1 100 >/dev/null 2>&1
done

ui command Pyrograph 32775 >/dev/null
ui wait "$SN" >/dev/null
check "Enable opens the dialog filled from the settings" "1 2 3 7 78 56 34 12" "$(sn_texts)"

sn_set 5 6 7 5 01 02 03 04
check "equal first and last addresses are refused" "Address overlapped!" "$(sn_ok_box)"
check "the dialog stays open after a refusal" 1 "$(ui count "$SN")"
sn_set 1 "" 3 7 G1 02 03 04
check "an empty address is reported before a bad data field" "Blank!" "$(sn_ok_box)"
sn_set 1 2 3 7 G1 02 03 04
check "a data field not starting with a hex digit is refused" "Invalid serial number!" "$(sn_ok_box)"

sn_set 1 2 3 7 1G 56 34 12
ui click "$SN" 1 >/dev/null
check_true "valid fields close the dialog" ui gone "$SN"
check "the label shows the number" "S/N:12345601H" "$(ui text Pyrograph 1002)"

# Switching off empties the label; switching on and cancelling leaves it off.
ui command Pyrograph 32775 >/dev/null
sleep 0.3
check "switching off empties the label" "" "$(ui text Pyrograph 1002)"
ui command Pyrograph 32775 >/dev/null
ui wait "$SN" >/dev/null
ui click "$SN" 2 >/dev/null
ui gone "$SN" >/dev/null
sleep 0.3
check "cancelling the dialog leaves numbering off" "" "$(ui text Pyrograph 1002)"

# Setup alone changes the number without switching numbering on.
ui command Pyrograph 32776 >/dev/null
ui wait "$SN" >/dev/null
sn_set A 1F 3 100 FF FF FF FF
ui click "$SN" 1 >/dev/null
ui gone "$SN" >/dev/null
sleep 0.3
check "Setup with numbering off shows no label" "" "$(ui text Pyrograph 1002)"
stop_pyrograph
check "the number is stored at exit" "-1" "$(ini_value Serial Data)"
check "the addresses are stored at exit" "10 31 3 256" \
    "$(ini_value Serial Byte0Addr) $(ini_value Serial Byte1Addr) $(ini_value Serial Byte2Addr) $(ini_value Serial Byte3Addr)"
check "Enable is never written" "" "$(ini_value Serial Enable)"

# An .otp load checks the addresses against the image: one beyond it puts all
# four back to their defaults.
scenario serial-load "$INI_SERIAL
Enable=1
Byte3Addr=65535"
cp "$PYRO_ROOT/samples/ZK20P08B.otp" "$SCEN/"
start_pyrograph "$(winpath "$SCEN/ZK20P08B.otp")"
ui wait Pyrograph >/dev/null
check "an address beyond the image is reported on load" \
    "Set to default address: 1, 2, 3, 7" "$(dismiss_boxes 5000 | head -1)"
stop_pyrograph
check "the default addresses are stored at exit" "1 2 3 7" \
    "$(ini_value Serial Byte0Addr) $(ini_value Serial Byte1Addr) $(ini_value Serial Byte2Addr) $(ini_value Serial Byte3Addr)"

finish
