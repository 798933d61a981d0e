#!/usr/bin/env bash
# The window's operator mode: a sealed job opened from the command line, its
# locked settings, Enter and Space running its Auto pass, the result panel and
# its counters after a passed and a failed chip, the day's counts once the job
# is closed, Close Job behind the supervisor password, a changed job refused.
# Screenshots at 100 % and 200 % stay in build/e2e/operator/.
. "$(dirname "$0")/e2e-lib.sh"

DPI_KEY='HKCU\Control Panel\Desktop'
SHOTS="$E2E_DIR/operator"
rm -rf "$SHOTS"
mkdir -p "$SHOTS"
serial_setup 1
big_x=""
restore() {
    serial_stop_all
    [ -n "$big_x" ] && { "$WINESERVER" -k >/dev/null 2>&1; kill "$big_x" 2>/dev/null; wait "$big_x" 2>/dev/null; }
    "$WINE" reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1 </dev/null
    wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 800x600
    serial_setup
}
trap restore EXIT

# A job made from the sample image that asks for a lot, with a supervisor password.
make_job() {
    cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/img.otp"
    pyrocmd job make "$(winpath "$SCEN/line7.pgjob")" --image "$(winpath "$SCEN/img.otp")" \
        --name "Line 7" --auto b,p,v --lot
    CODE=$(echo "$OUT" | sed -n 's/^Code: //p')
    IN=$'chief of line 7\n' pyrocmd job password
}

# open_job FILE LOT: the window started on the job, the lot typed in.
open_job() {
    start_pyrograph "$(winpath "$1")"
    ui wait "Lot Number" 60000 >/dev/null  # a 32-bit start on a loaded machine is slow
    ui settext "Lot Number" 1051 "$2" >/dev/null
    ui click "Lot Number" 1 >/dev/null
    ui gone "Lot Number" >/dev/null
}

# close_job PASSWORD: Close Job, the password typed; prints any box that follows.
close_job() {
    ui command Pyrograph 32792 >/dev/null
    ui wait "Supervisor Password" >/dev/null
    ui settext "Supervisor Password" 1051 "$1" >/dev/null
    ui click "Supervisor Password" 1 >/dev/null
    ui gone "Supervisor Password" >/dev/null
    ui msgbox-close 1 1500 2>/dev/null | tail -1
}

# A chip that stays in the socket: the second pass finds it programmed, not blank.
serial_start_emulator 1 --baud 0 --do "chip pid=A6"

# Save Job from the window's image and settings; the first one offers a password.
scenario operator-save "$SAMPLE_INI"
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/img.otp"
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
check_soon "the image downloads" "Download OK!" "ui text Pyrograph 1010" 60
ui command Pyrograph 32791 >/dev/null
ui wait "Save Job" >/dev/null
ui settext "Save Job" 1148 "$(winpath "$SCEN/saved.pgjob")" >/dev/null
ui click "Save Job" 1 >/dev/null
ui msgbox-close 7 5000 >/dev/null  # no lot number
check "the first job saved offers a supervisor password" \
    "No supervisor password is set: anyone can close a job. Set one now?" \
    "$(ui msgbox-close 6 5000 | tail -1)"
ui wait "Supervisor Password" >/dev/null
ui settext "Supervisor Password" 1051 "chief of line 8" >/dev/null
ui settext "Supervisor Password" 1053 "chief of line 8" >/dev/null
ui click "Supervisor Password" 1 >/dev/null
ui gone "Supervisor Password" >/dev/null
stop_pyrograph
pyrocmd job show "$(winpath "$SCEN/saved.pgjob")"
check "the saved job opens with the window's settings" "0|ZK30P11C-4|b,p,v|not asked for" \
    "$RC|$(echo "$OUT" | sed -n 's/^Body: //p')|$(echo "$OUT" | sed -n 's/^Auto: //p')|$(echo "$OUT" | sed -n 's/^Lot number: //p')"
check "the password set is kept as a hash alone" "1 0" \
    "$(ini_value Job PasswordHash | grep -c '^pbkdf2-sha256:') $(grep -c 'chief' "$SCEN/Larkspur.ini")"

scenario operator "$SAMPLE_INI
[Log]
File=prod.csv"
make_job
check "the job and the password are made" "1 0" "$(echo "$CODE" | grep -c '^[0-9A-F]\{8\}$') $RC"
open_job "$SCEN/line7.pgjob" W49-3
ui wait Pyrograph >/dev/null
check_soon "the job's image downloads" "Download OK!" "ui text Pyrograph 1010" 60
check "the panel names the job and its code" "Line 7   Job $CODE|Lot W49-3" \
    "$(ui text Pyrograph 1040)|$(ui text Pyrograph 1041)"
check "the hex view gives way to the panel" "visible=0 visible=1" \
    "$(ui state Pyrograph 1013 | cut -d' ' -f2) $(ui state Pyrograph 1045 | cut -d' ' -f2)"
check "Open is disabled" "enabled=0" "$(ui state Pyrograph 1009 | cut -d' ' -f1)"
for item in "32773 Auto Setup" "32776 Serial Number" "32779 Set MCU"; do
    ui command Pyrograph "${item%% *}" >/dev/null
    check "the settings item ${item#* } does nothing" 1 \
        "$(ui wait "${item#* }" 1500 >/dev/null 2>&1; echo $?)"
done

ui key Pyrograph 1045 0x0D >/dev/null
check_soon "Enter runs Auto and the chip passes" PASS "ui text Pyrograph 1042" 60
check "the counters" "1 passed, 0 failed, 100.0 %" "$(ui text Pyrograph 1044)"
ui key Pyrograph 1045 0x20 >/dev/null
check_soon "Space runs it again: the programmed chip fails" FAIL "ui text Pyrograph 1042" 60
check "with the reason" 1 "$(ui text Pyrograph 1043 | grep -ci 'blank')"
check "the counters read 1 passed, 1 failed, 50.0 %" "1 passed, 1 failed, 50.0 %" \
    "$(ui text Pyrograph 1044)"
screenshot "$SHOTS/operator-100.png"
check "the log names the job's code and the lot" "PASS,$CODE,W49-3|FAIL,$CODE,W49-3" \
    "$(sed -n 2,3p "$SCEN/prod.csv" | tr -d '\r' | cut -d, -f12,13,14 | paste -sd'|')"

check "a wrong password keeps the job open" "That is not the supervisor password: the job stays open." \
    "$(close_job 'not the one')"
check "still in operator mode" "visible=1" "$(ui state Pyrograph 1045 | cut -d' ' -f2)"
check "the right one closes it" "" "$(close_job 'chief of line 7')"
check "back in engineering mode" "visible=0 visible=1 enabled=1" \
    "$(ui state Pyrograph 1045 | cut -d' ' -f2) $(ui state Pyrograph 1013 | cut -d' ' -f2) $(ui state Pyrograph 1009 | cut -d' ' -f1)"
check "the day's counts in engineering mode" "Today: 1 passed, 1 failed, 50.0 %" \
    "$(ui text Pyrograph 1046)"
ui command Pyrograph 32793 >/dev/null
check_soon "Reset Counts" "Today: 0 passed, 0 failed" "ui text Pyrograph 1046"
stop_pyrograph
check "the settings file never holds the password" 0 "$(grep -c 'chief' "$SCEN/Larkspur.ini")"
check "nor the job's settings" "ZK30P11C-4" "$(ini_value Setting BodyName)"

# One byte of the image changed in the job's text, the seal left as it was.
change_job_byte "$SCEN/line7.pgjob" "$SCEN/changed.pgjob"
start_pyrograph "$(winpath "$SCEN/changed.pgjob")"
check "a changed job: a box naming it" \
    "The job file $(winpath "$SCEN/changed.pgjob") has been changed or is damaged." \
    "$(ui msgbox-close 1 20000 | tail -1)"
ui wait Pyrograph >/dev/null
check "and no job opens" "visible=0" "$(ui state Pyrograph 1045 | cut -d' ' -f2)"
stop_pyrograph
serial_stop_emulator 1

# At 200 %, on an X server and a desktop wide enough for the window.
xvfb_start 141 190 1600x1200
big_x=$XVFB_PID
wine_reg "$DPI_KEY" LogPixels 192 REG_DWORD
wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 1600x1200
serial_apply_ports
scenario operator-200 "$SAMPLE_INI"
make_job
serial_start_emulator 1 --baud 0 --do "chip pid=A6"
open_job "$SCEN/line7.pgjob" W49-4
ui wait Pyrograph >/dev/null
check_soon "200 %: the job's image downloads" "Download OK!" "ui text Pyrograph 1010" 60
ui press Pyrograph 1045 >/dev/null
check_soon "200 %: the Start button runs Auto" PASS "ui text Pyrograph 1042" 60
check "200 %: the window is at 192 DPI" 192 "$(ui dpi Pyrograph)"
screenshot "$SHOTS/operator-200.png"
ui press Pyrograph 2 >/dev/null
check "Exit leaves operator mode too: it asks for the password" 0 \
    "$(ui wait "Supervisor Password" 5000 >/dev/null; echo $?)"
ui settext "Supervisor Password" 1051 "chief of line 7" >/dev/null
ui click "Supervisor Password" 1 >/dev/null
check_true "and with it the program ends" wait_pid "$PYRO_PID" 10
finish
