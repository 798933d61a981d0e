#!/usr/bin/env bash
# Start-up of the main program: single instance, settings file beside the program,
# and the image path taken from the command line.
. "$(dirname "$0")/e2e-lib.sh"

scenario no-ini
start_pyrograph
box=$(ui msgbox 20000)
check "missing settings file is reported" $'Pyrograph\nCannot find \'Larkspur.ini\'' "$box"
ui msgbox-close 1 >/dev/null
check "the window stays open without a settings file" 1 "$(ui count Pyrograph)"
stop_pyrograph

scenario single "$SAMPLE_INI"
start_pyrograph
ui wait Pyrograph >/dev/null
check "window titled Pyrograph opens" 1 "$(ui count Pyrograph)"
wine_start "$SCEN/Pyrograph.exe" 'C:\other.otp'
second=$WINE_PID
check_true "a second copy ends by itself" wait_pid "$second" 10
check "a second copy leaves one window" 1 "$(ui count Pyrograph)"
stop_pyrograph
check "closing the window ends the program" 0 "$(ui count Pyrograph)"

scenario cmdline "$SAMPLE_INI"
# Wine quotes an argument that holds blanks, so the words go as separate arguments.
start_pyrograph 'C:\img\a.otp' '/HIDE=0001A2B3'
ui wait Pyrograph >/dev/null
check_soon "the start-up file is the text before the slash" 'C:\img\a.otp' "ui text Pyrograph 1008"
stop_pyrograph

finish
