#!/usr/bin/env bash
# Opening images: .otp and voice files from the command line and through the
# Open dialog, with the body they name selected and written to the settings.
. "$(dirname "$0")/e2e-lib.sh"
SAMPLES="$PYRO_ROOT/samples"

scenario otp-cmdline "$SAMPLE_INI"
cp "$SAMPLES/ZK20P08B.otp" "$SCEN/"
start_pyrograph "$(winpath "$SCEN/ZK20P08B.otp")"
ui wait Pyrograph >/dev/null
check_soon "checksum of the loaded image" "E5CCh" "ui text Pyrograph 1034"
check "the file's PID/OID pair selects its body" "ZK20P08B" "$(ui text Pyrograph 1035)"
check "the body is remembered in the settings" "ZK20P08B" "$(ini_value Setting BodyName)"
stop_pyrograph

scenario otp-bad "$SAMPLE_INI"
# A whole, well-summed record, but not a header.
printf '\x65\x01\x00\x9a' >"$SCEN/bad.otp"
start_pyrograph "$(winpath "$SCEN/bad.otp")"
ui wait Pyrograph >/dev/null
check_soon "a file without a header record is refused" "Invalid file format!" "ui text Pyrograph 1010"
check "nothing is shown as a checksum" "" "$(ui text Pyrograph 1034)"
check "the selected body stays" "ZK30P11C-4" "$(ui text Pyrograph 1035)"
stop_pyrograph

scenario voice "$SAMPLE_INI"
cp "$SAMPLES/ZV62Q160.R09" "$SCEN/"
start_pyrograph "$(winpath "$SCEN/ZV62Q160.R09")"
ui wait Pyrograph >/dev/null
check_soon "voice image checksum" "1157h" "ui text Pyrograph 1034"
check "voice body selected" "ZV62Q160" "$(ui text Pyrograph 1035)"
check "voice mode disables Lock" "enabled=0 visible=1 checked=0" "$(ui state Pyrograph 8)"
stop_pyrograph

scenario open-dialog "$SAMPLE_INI"
cp "$SAMPLES/ZK30P11C-4.otp" "$SCEN/"
start_pyrograph
ui wait Pyrograph >/dev/null
ui msgbox-close 1 1500 >/dev/null 2>&1 || true
ui press Pyrograph 1009 >/dev/null
check "Open shows the file dialog" 0 "$(ui wait 'Open File' >/dev/null 2>&1; echo $?)"
ui settext 'Open File' 1148 "$(winpath "$SCEN/ZK30P11C-4.otp")" >/dev/null
ui click 'Open File' 1 >/dev/null
check_soon "the chosen file is loaded" "E12Fh" "ui text Pyrograph 1034"
check "the chosen path is shown" "$(winpath "$SCEN/ZK30P11C-4.otp")" "$(ui text Pyrograph 1008)"
ui press Pyrograph 1009 >/dev/null
ui wait 'Open File' >/dev/null 2>&1
ui close 'Open File' >/dev/null
sleep 0.5
check "cancelling the dialog keeps the image" "E12Fh" "$(ui text Pyrograph 1034)"
stop_pyrograph

finish
