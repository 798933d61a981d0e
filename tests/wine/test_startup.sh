#!/usr/bin/env bash
# Start-up of the main program: single instance, settings file beside the program,
# and the image path taken from the command line, also in quotes with blanks in it.
. "$(dirname "$0")/e2e-lib.sh"
PRINT_TESTBIN="$PYRO_WINBIN/../testbin"  # the starter that passes a command line verbatim

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

# A path with blanks goes in quotes, as the shell passes an associated file ("%1"):
# it opens and downloads to the writer.
scenario quoted "$SAMPLE_INI"
serial_setup 1
trap "serial_stop_all; serial_park" EXIT
serial_start_emulator 1
mkdir -p "$SCEN/my jobs"
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/my jobs/a b.otp"
wine_start "$PRINT_TESTBIN/run_cmdline.exe" \
    "$(winpath "$SCEN/Pyrograph.exe") \"$(winpath "$SCEN/my jobs/a b.otp")\""
starter=$WINE_PID
ui wait Pyrograph 20000 >/dev/null
check "the quoted path opens without its quotes" "$(winpath "$SCEN/my jobs/a b.otp")" \
    "$(ui text Pyrograph 1008)"
check_soon "and downloads to the writer" "Download OK!" "ui text Pyrograph 1010" 60
ui press Pyrograph 2 >/dev/null
check_true "the program ends" wait_pid "$starter" 10
serial_stop_all

finish
