#!/usr/bin/env bash
# Results the line can trust: a log that cannot be written costs no chip, a
# failed download stops the operation that asked for it (window and console),
# and a writer unplugged mid-run is a fault of the station, not of the chips
# it never reached.
. "$(dirname "$0")/e2e-lib.sh"

serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

# --- A log that cannot be written ----------------------------------------------
scenario results-log "$SAMPLE_INI
[Log]
File=logdir"
mkdir "$SCEN/logdir"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 2 --no-wait
check "an unwritable log fails no chip; its lines wait beside it: exit 8" 8 "$RC"
check "both chips pass" \
    "Chip 1  PASS  Blank Check/Programming/Verify OK!|Chip 2  PASS  Blank Check/Programming/Verify OK!" \
    "$(echo "$OUT" | grep '^Chip' | paste -sd'|')"
check "the log's failure is said once" 1 "$(echo "$ERR" | grep -c 'Cannot write the log file')"
serial_stop_emulator 1

# --- A failed download stops the operation ------------------------------------
scenario results-download "$SAMPLE_INI"
make_image "$SCEN/img.otp"
# The image's third frame goes unanswered three times: the download fails.
serial_start_emulator 1 --baud 0 --do "chip pid=A6"
serial_control 1 "fault noreply cmd=56 skip=2 count=3"
pyrocmd auto "$(winpath "$SCEN/img.otp")" --port 1
check "auto FILE whose download fails exits 1" 1 "$RC"
check "and says the download's text" "Download fail!" "$OUT"
check "no programming-mode command reached the writer" 0 "$(received 1 5A)"

# The window: its first download fails; Program asks to download, Yes, and
# that download fails too.
serial_control 1 "fault noreply cmd=56 skip=2 count=3"
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
check_soon "the window's download fails" "Download fail!" "ui text Pyrograph 1010" 60
serial_control 1 "fault noreply cmd=56 skip=2 count=3"
ui press Pyrograph 6 >/dev/null
check "Program asks to download first" \
    "The current file has not been downloaded,|Download it?" \
    "$(ui msgbox 20000 | tail -2 | paste -sd'|')"
ui msgbox-close 6 >/dev/null
check_soon "the message line keeps the download's failure" "Download fail!" \
    "ui text Pyrograph 1010" 60
sleep 1
check "still no programming-mode command" 0 "$(received 1 5A)"
check "the window takes input again" 1 "$(ui enabled Pyrograph)"
stop_pyrograph
serial_stop_emulator 1

# --- The writer unplugged during a run ------------------------------------------
scenario results-unplug "$SAMPLE_INI"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on" --do "timing step=300"
# Once the second chip is in programming mode, the cable goes.
(
    for i in $(seq 1 600); do
        [ "$(received 1 5A)" -ge 2 ] && { serial_control 1 unplug; break; }
        sleep 0.1
    done
) &
watcher=$!
started=$(date +%s)
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 3 --no-wait
ended=$(date +%s)
wait "$watcher" 2>/dev/null
check "a writer lost mid-run exits 3" 3 "$RC"
check "chip 1 passed" "Chip 1  PASS  Blank Check/Programming/Verify OK!" \
    "$(echo "$OUT" | grep '^Chip 1 ')"
check "the chip it was on failed" 1 "$(echo "$OUT" | grep -c '^Chip 2  FAIL  ')"
check "no line for the chip it never reached" 0 "$(echo "$OUT" | grep -c '^Chip 3')"
check "the summary counts what was tried" 1 "$(echo "$OUT" | grep -c '^Passed: 1, failed: 1, ')"
check "the fault is named" 1 "$(echo "$ERR" | grep -c 'the writer on COM1 stopped answering')"
check_true "the run ended within a minute of the unplug" test $((ended - started)) -lt 90
serial_stop_emulator 1

finish
