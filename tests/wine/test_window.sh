#!/usr/bin/env bash
# The main window: layout texts, voice-mode enabling, the Auto Setup and Set MCU
# dialogs, and what the window stores when it closes.
. "$(dirname "$0")/e2e-lib.sh"

# Menus belong to their process under Wine, so another program cannot read their
# states; the Check ID flag is seen through what the window stores at exit.
INI_CHECKID="${SAMPLE_INI/ver=new/ver=new
CheckID=1}"
INI_VOICE="${INI_CHECKID/BodyName=ZK30P11C-4/BodyName=ZV62Q160}
[Auto]
Lock=1"

# choose_mcu NAME: Set MCU, that entry, OK. With no writer each command of
# the driver download that follows fails with a box; those are dismissed.
choose_mcu() {
    ui command Pyrograph 32779 >/dev/null
    ui wait "Set MCU" >/dev/null
    ui combo-select "Set MCU" 1031 "$1" >/dev/null
    ui click "Set MCU" 1 >/dev/null
    ui gone "Set MCU" >/dev/null
    dismiss_boxes >/dev/null
}

scenario normal "$INI_CHECKID"
start_pyrograph
ui wait Pyrograph >/dev/null
check_soon "the MCU label names the selected body" ZK30P11C-4 "ui text Pyrograph 1035"
check "template texts are replaced by the members" "Disconnected||" \
    "$(ui text Pyrograph 1001)|$(ui text Pyrograph 1003)|$(ui text Pyrograph 1002)"
check "Read is never visible" "enabled=1 visible=0 checked=0" "$(ui state Pyrograph 9)"
check "the first command is Detect Connect" "Disconnected from the Pyrograph." \
    "$(ui text Pyrograph 1010)"
screenshot "$SCEN/window.png"

# The path box ignores typing but still lets Delete edit what the program put there.
ui settext Pyrograph 1008 'C:\img\a.otp' >/dev/null
ui type Pyrograph 1008 'xyz' >/dev/null
ui key Pyrograph 1008 8 >/dev/null  # Backspace arrives as a character too
sleep 0.3
check "typing into the path box changes nothing" 'C:\img\a.otp' "$(ui text Pyrograph 1008)"
ui key Pyrograph 1008 0x2E 0 >/dev/null  # Delete with the caret at the start
sleep 0.3
check "Delete still edits the path box" ':\img\a.otp' "$(ui text Pyrograph 1008)"

# Enter must not end the main window; only Exit does.
ui command Pyrograph 1 >/dev/null
sleep 0.3
check "OK (Enter) leaves the window open" 1 "$(ui count Pyrograph)"

ui syscommand Pyrograph 16 >/dev/null
check "the system menu's About item opens the About box" 0 "$(ui wait "About Pyrograph" 5000 >/dev/null; echo $?)"
ui click "About Pyrograph" 1 >/dev/null
check_true "About closes on OK" ui gone "About Pyrograph"

# Auto Setup: Cancel keeps the file untouched, OK stores all four steps.
ui command Pyrograph 32773 >/dev/null
ui wait "Auto Setup" >/dev/null
check "Auto Setup shows the default steps" "1 1 1 0" \
    "$(for id in 5 6 7 8; do ui state "Auto Setup" $id | sed 's/.*checked=//'; done | tr '\n' ' ' | sed 's/ $//')"
ui check "Auto Setup" 5 0 >/dev/null
ui click "Auto Setup" 2 >/dev/null
ui gone "Auto Setup" >/dev/null
check "Cancel writes nothing to [Auto]" "" "$(ini_value Auto Blank)"
ui command Pyrograph 32773 >/dev/null
ui wait "Auto Setup" >/dev/null
check "Cancel left the steps unchanged" "enabled=1 visible=1 checked=1" "$(ui state "Auto Setup" 5)"
ui check "Auto Setup" 5 0 >/dev/null
ui check "Auto Setup" 8 1 >/dev/null
ui click "Auto Setup" 1 >/dev/null
ui gone "Auto Setup" >/dev/null
check "OK stores the four steps" "0 1 1 1" \
    "$(ini_value Auto Blank) $(ini_value Auto Program) $(ini_value Auto Verify) $(ini_value Auto Lock)"

# Set MCU: sorted list, current body selected; Cancel changes nothing.
ui command Pyrograph 32779 >/dev/null
ui wait "Set MCU" >/dev/null
check "the current body is the selected entry" "*ZK30P11C-4" "$(ui combo "Set MCU" 1031 | grep '^\*')"
check "the body list is in sorted order" "ZK20P08B ZK30P11C-4 ZV62Q160" \
    "$(ui combo "Set MCU" 1031 | tr -d '*' | tr '\n' ' ' | sed 's/ $//')"
check "the label reads MCU" "MCU" "$(ui text "Set MCU" 1024)"
ui combo-select "Set MCU" 1031 ZV62Q160 >/dev/null
ui click "Set MCU" 2 >/dev/null
ui gone "Set MCU" >/dev/null
check "Cancel keeps [Setting] BodyName" ZK30P11C-4 "$(ini_value Setting BodyName)"
check "Cancel keeps the MCU label" ZK30P11C-4 "$(ui text Pyrograph 1035)"

# Choosing a voice body switches the window to voice mode at once.
choose_mcu ZV62Q160
check "Lock is disabled for a voice body" "enabled=0 visible=1 checked=0" "$(ui state Pyrograph 8)"
check "Chip Info is disabled for a voice body" "enabled=0 visible=1 checked=0" "$(ui state Pyrograph 10)"

# Back to a normal body: enabled again, Check ID stays off.
choose_mcu ZK20P08B
check "leaving voice mode enables Lock" "enabled=1 visible=1 checked=0" "$(ui state Pyrograph 8)"
stop_pyrograph
check "Exit stores Check ID as cleared by voice mode" 0 "$(ini_value Setting CheckID)"

# Start with a voice body.
scenario voice "$INI_VOICE"
start_pyrograph
ui wait Pyrograph >/dev/null
sleep 0.5
check "voice body: Lock disabled" "enabled=0 visible=1 checked=0" "$(ui state Pyrograph 8)"
# The start-up Detect Connect enables Chip Info again, also in voice mode.
check_soon "voice body: Chip Info enabled after the connection check" "enabled=1 visible=1 checked=0" \
    "ui state Pyrograph 10"
check_soon "voice body: Program stays enabled" "enabled=1 visible=1 checked=0" "ui state Pyrograph 6"
ui command Pyrograph 32773 >/dev/null
ui wait "Auto Setup" >/dev/null
check "Auto Setup in voice mode: Lock unticked and disabled" "enabled=0 visible=1 checked=0" \
    "$(ui state "Auto Setup" 8)"
ui click "Auto Setup" 1 >/dev/null
ui gone "Auto Setup" >/dev/null
check "OK in voice mode stores [Auto] Lock=0" 0 "$(ini_value Auto Lock)"
stop_pyrograph
check "a voice body clears Check ID in memory, stored at exit" 0 "$(ini_value Setting CheckID)"

# A body name in other case: no body is shown, but Set MCU still selects it.
scenario case "${INI_CHECKID/BodyName=ZK30P11C-4/BodyName=zk20p08b}"
start_pyrograph
ui wait Pyrograph >/dev/null
sleep 0.5
check "an unknown name leaves the MCU label empty" "" "$(ui text Pyrograph 1035)"
ui command Pyrograph 32779 >/dev/null
ui wait "Set MCU" >/dev/null
check "Set MCU selects the body whatever the case" "*ZK20P08B" \
    "$(ui combo "Set MCU" 1031 | grep '^\*')"
ui click "Set MCU" 2 >/dev/null
ui gone "Set MCU" >/dev/null
stop_pyrograph
check "a normal body keeps Check ID at exit" 1 "$(ini_value Setting CheckID)"

# A name not in the table: nothing selected, and OK cannot hand back a body.
scenario nosel "${SAMPLE_INI/BodyName=ZK30P11C-4/BodyName=NOSUCH}"
start_pyrograph
ui wait Pyrograph >/dev/null
ui command Pyrograph 32779 >/dev/null
ui wait "Set MCU" >/dev/null
check "no entry is selected" "" "$(ui combo "Set MCU" 1031 | grep '^\*')"
ui click "Set MCU" 1 >/dev/null
sleep 0.5
check "OK without a selection keeps the dialog open" 1 "$(ui count "Set MCU")"
ui click "Set MCU" 2 >/dev/null
ui gone "Set MCU" >/dev/null
check "the settings keep the unknown name" NOSUCH "$(ini_value Setting BodyName)"
stop_pyrograph

# Exit writes the serial numbering values and Check ID, never [Serial] Enable.
scenario exit "$SAMPLE_INI
[Serial]
Enable=1
Data=-2147483647
Byte2Addr=20"
start_pyrograph
ui wait Pyrograph >/dev/null
check "nothing is written while the window is open" "" "$(ini_value Serial Byte0Addr)"
stop_pyrograph
check "Exit writes [Serial] Data unchanged" -2147483647 "$(ini_value Serial Data)"
check "Exit writes the byte addresses" "1 2 20 7" \
    "$(ini_value Serial Byte0Addr) $(ini_value Serial Byte1Addr) $(ini_value Serial Byte2Addr) $(ini_value Serial Byte3Addr)"
check "Exit writes [Setting] CheckID" 0 "$(ini_value Setting CheckID)"
check "Exit leaves [Serial] Enable as it was" 1 "$(ini_value Serial Enable)"

scenario exit-no-enable "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
stop_pyrograph
check "Exit does not create [Serial] Enable" "" "$(ini_value Serial Enable)"
check "Exit creates [Serial] Data" 0 "$(ini_value Serial Data)"

finish
