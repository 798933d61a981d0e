#!/usr/bin/env bash
# Several writers from one PC: a gang run over two ports, a writer lost in the
# middle of it, a listed port without a writer, serial numbers shared by
# programs running at once on one settings file, and the end of a station's
# number range.
. "$(dirname "$0")/e2e-lib.sh"

all_numbers() { { chip_numbers 1; chip_numbers 2; } | sort; }

serial_setup 1 2
trap 'serial_stop_all; serial_setup' EXIT

# --- Two writers, one lost after its first chip ----------------------------------
scenario gang-drop "$SAMPLE_INI
[Serial]
Enable=1
Data=256
[Log]
File=prod.csv"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on" --do "timing step=100"
serial_start_emulator 2 --baud 0 --do "chip pid=A6" --do "swap on" --do "timing step=100"
(
    for i in $(seq 1 900); do
        [ "$(received 2 5A)" -ge 2 ] && { serial_control 2 unplug; break; }
        sleep 0.1
    done
) &
watcher=$!
started=$(date +%s)
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 6 --ports COM1,2 --no-wait
ended=$(date +%s)
wait "$watcher" 2>/dev/null
check "a writer dropped from a gang run makes it exit 1" 1 "$RC"
check "the others go on to the total" 6 "$(echo "$OUT" | grep -c '^COM[12]  Chip ')"
check "the chip COM2 was on failed" 1 "$(echo "$OUT" | grep -c '^COM2  Chip [0-9]*  FAIL ')"
check "the summary names the dropped port" 1 \
    "$(echo "$OUT" | grep -c '^COM2  Passed: [0-9]*, failed: 1, .* dropped: the writer stopped answering$')"
check "the total keeps its form" 1 "$(echo "$OUT" | tail -1 | grep -c '^Passed: 5, failed: 1, ')"
check "the drop is said" 1 "$(echo "$ERR" | grep -c 'the writer on COM2 stopped answering')"
check_true "the run ended within a minute of the unplug" test $((ended - started)) -lt 90
check "no number twice across the writers" "" "$(all_numbers | uniq -d)"
check "the log has a line per chip, with its port" 6 \
    "$(tail -n +2 "$SCEN/prod.csv" | grep -c '^[^,]*,pyrocmd,COM[12],.*,Auto,')"
# A number the lost writer had taken and no chip got is there too, as unused.
check "every number taken from the file is in the log, once" \
    "$(for ((n = 256; n < $(ini_value Serial Data); n++)); do printf '%08XH\n' "$n"; done | paste -sd' ')" \
    "$(tail -n +2 "$SCEN/prod.csv" | cut -d, -f9 | grep . | sort | paste -sd' ')"
serial_stop_all

# --- A listed port without a writer ---------------------------------------------
scenario gang-missing "$SAMPLE_INI"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 2 --ports 1,2 --no-wait
check "nothing answering on a listed port: exit 3" 3 "$RC"
check "the message names the port" 1 "$(echo "$ERR" | grep -c 'no writer answers on COM2')"
check "no chip command reached COM1's writer" "0 0" \
    "$(received 1 5A) $(serial_log 1 | awk '$2 == "RX" && $4 == "59" && $5 != "40"' | wc -l)"
serial_stop_all

# --- Two programs at once on one settings file ----------------------------------
scenario gang-share "$SAMPLE_INI
[Serial]
Enable=1
Data=4096"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"
serial_start_emulator 2 --baud 0 --do "chip pid=A6" --do "swap on"
img=$(winpath "$SCEN/img.otp")
"$WINE" "$SCEN/pyrocmd.exe" run "$img" --count 5 --port 1 --no-wait >"$SCEN/one" 2>&1 </dev/null &
one=$!
"$WINE" "$SCEN/pyrocmd.exe" run "$img" --count 5 --port COM2 --no-wait >"$SCEN/two" 2>&1 </dev/null &
two=$!
wait_pid "$one" 240
wait_pid "$two" 240
check "both consoles programmed their chips" "5 5" \
    "$(grep -c '  PASS  ' "$SCEN/one") $(grep -c '  PASS  ' "$SCEN/two")"
check "ten numbers, none twice" "10 " "$(all_numbers | wc -l) $(all_numbers | uniq -d)"
last=$(( 16#$(all_numbers | tail -1) ))
check_true "[Serial] Data lies past every number used" test "$(ini_value Serial Data)" -gt "$last"

# The window and a console at once: the window programs on COM1 while the
# console runs on COM2.
serial_control 1 "chip pid=A6"
start_pyrograph "$img"
ui wait Pyrograph >/dev/null
check_soon "the window downloads the image" "Download OK!" "ui text Pyrograph 1010" 60
"$WINE" "$SCEN/pyrocmd.exe" run "$img" --count 4 --port 2 --no-wait >"$SCEN/three" 2>&1 </dev/null &
three=$!
for i in 1 2 3; do
    ui press Pyrograph 6 >/dev/null
    check_soon "the window programs chip $i beside the console" "Program OK!" \
        "ui text Pyrograph 1010" 60
    ui settext Pyrograph 1010 "" >/dev/null
done
wait_pid "$three" 240
stop_pyrograph
check "the console programmed its chips" 4 "$(grep -c '  PASS  ' "$SCEN/three")"
check "seventeen numbers, none twice" "17 " "$(all_numbers | wc -l) $(all_numbers | uniq -d)"
last=$(( 16#$(all_numbers | tail -1) ))
check_true "after the window closed, [Serial] Data still lies past every number" \
    test "$(ini_value Serial Data)" -gt "$last"
serial_stop_all

# --- The end of a station's range -------------------------------------------------
scenario gang-end "$SAMPLE_INI
[Serial]
Enable=1
Data=510
End=0x1FF"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 4 --port 1 --no-wait
check "the range used up mid-run: exit 5" 5 "$RC"
check "two chips got the last two numbers" "000001FE 000001FF" "$(chip_numbers 1 | paste -sd' ')"
check "the range is said to be used up" 1 "$(echo "$ERR" | grep -c 'used up')"
check "no line for the chip that got no number" 2 "$(echo "$OUT" | grep -c '^Chip ')"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 1 --port 1 --no-wait --checksum 0000
check "an image of another checksum is refused: exit 4" 4 "$RC"
serial_stop_all

finish
