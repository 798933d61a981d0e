#!/usr/bin/env bash
# Serial numbers: the Serial Number dialog, its checks, the S/N label, what
# the window stores at exit, and the number saved before each chip (a killed
# program, a read-only settings file) against the writer emulator.
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
check "the number is stored at exit, unsigned" "4294967295" "$(ini_value Serial Data)"
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

# --- Numbers survive a killed program -----------------------------------------
# From here on COM1 leads to the writer emulator.
serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

# program_chip N: presses "&Program" and waits until the writer has got the
# serial words of the Nth chip of the log and the pass has ended.
program_chip() {
    ui press Pyrograph 6 >/dev/null
    check_soon "chip $1 gets its serial words" $((4 * $1)) \
        "serial_log 1 | awk '\$2 == \"RX\" && \$4 == \"57\"' | wc -l" 30
    check_soon "chip $1 ends with Program OK!" "Program OK!" "ui text Pyrograph 1010" 10
}

# start_with_image: the window with the image, downloaded to the writer.
start_with_image() {
    start_pyrograph "$(winpath "$SCEN/img.otp")"
    ui wait Pyrograph >/dev/null
    check_soon "the image is downloaded" "Download OK!" "ui text Pyrograph 1010" 30
}

# A settings file written by hand: comments, blank lines, blanks around '='.
INI_KEPT="; line 3 settings
${SAMPLE_INI/ver=new/ver=new
CheckID = 0}

[Serial]
Enable = 1
; the next number to hand out
Data=16777214
Byte3Addr=7"
scenario serial-kill "$INI_KEPT"
make_image "$SCEN/img.otp"
cp "$SCEN/Larkspur.ini" "$SCEN/before.ini"
serial_start_emulator 1 --baud 0
start_with_image
program_chip 1
serial_control 1 "chip pid=A6"
program_chip 2
serial_control 1 "chip pid=A6"
program_chip 3
check "the file already holds the number after the third chip" 16777217 "$(ini_value Serial Data)"
check "the label shows it too" "S/N:01000001H" "$(ui text Pyrograph 1002)"
{
    kill -KILL "$PYRO_PID"
    wait "$PYRO_PID"
} 2>/dev/null
check_true "the killed program's window is gone" ui gone Pyrograph 5000
check "the file is byte for byte as written by hand apart from the number" \
    "$(sed 's/^Data=16777214/Data=16777217/' "$SCEN/before.ini" | od -c)" "$(od -c <"$SCEN/Larkspur.ini")"
check "no copy is left beside it" "Larkspur.ini before.ini" \
    "$(cd "$SCEN" && ls -- *.ini *.tmp *.TMP 2>/dev/null | paste -sd' ')"

start_with_image
serial_control 1 "chip pid=A6"
program_chip 4
check "four chips, four consecutive numbers" "00FFFFFE 00FFFFFF 01000000 01000001" "$(chip_numbers | paste -sd' ' -)"
check "[Serial] Data holds the fifth" 16777218 "$(ini_value Serial Data)"
stop_pyrograph
check "and still does after a clean exit" 16777218 "$(ini_value Serial Data)"
serial_stop_emulator 1

# --- A settings file that cannot be written ------------------------------------
scenario serial-readonly "$SAMPLE_INI
[Serial]
Enable=1
Data=100"
make_image "$SCEN/img.otp"
chmod a-w "$SCEN/Larkspur.ini"
serial_start_emulator 1 --baud 0
start_with_image
ui press Pyrograph 6 >/dev/null
box=$(ui msgbox-close 1 20000)
check "a read-only file stops the pass with one message" \
    "$(printf '%s\n' Pyrograph "The next serial number could not be saved in 'Larkspur.ini'." \
        "The chip has not been programmed." "" \
        "Check that the file is not read-only and the disk is not full," \
        "or turn S/N off to program without serial numbers.")" "$box"
check_soon "the message line says so" "Failed to save serial number!" "ui text Pyrograph 1010"
check "no second box" "" "$(dismiss_boxes 1000)"
check "the chip is neither programmed nor numbered" "" \
    "$(serial_log 1 | awk '$2 == "RX" && ($4 == "57" || ($4 == "59" && $5 == "04"))')"
# Numbering off: programming goes on without numbers.
ui command Pyrograph 32775 >/dev/null
sleep 0.3
# Numbering was on from the file: switching it on would have opened the dialog.
check "numbering is switched off without a dialog" 0 "$(ui count "$SN")"
ui press Pyrograph 6 >/dev/null
check_soon "the chip is programmed without a number" "Program OK!" "ui text Pyrograph 1010" 30
check "still no serial word written" 0 "$(serial_log 1 | awk '$2 == "RX" && $4 == "57"' | wc -l)"
check "the file is unchanged" 100 "$(ini_value Serial Data)"
stop_pyrograph
serial_stop_emulator 1

finish
