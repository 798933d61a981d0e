#!/usr/bin/env bash
# pyrocmd, the console front end: its exit codes, an image's description and
# the loader's errors, a production run against the writer emulator swapping
# chips by itself, a chip failing verify, and serial numbers shared with the
# window through the settings file.
. "$(dirname "$0")/e2e-lib.sh"

# --- Without a writer -----------------------------------------------------------
scenario pyrocmd-cli "$SAMPLE_INI"
pyrocmd --help
check "--help exits 0" 0 "$RC"
check "--help prints the usage" "Usage: pyrocmd COMMAND [OPTIONS]" "$(echo "$OUT" | head -1)"
pyrocmd --version
check "--version exits 0 with the program's version" \
    "0 pyrocmd $(cat "$PYRO_ROOT/VERSION") (writer protocol Software(V1.2))" "$RC $OUT"
pyrocmd frobnicate
check "an unknown command exits 2" 2 "$RC"
check "and says why on stderr" "pyrocmd: Unknown command 'frobnicate'." "$(echo "$ERR" | head -1)"
pyrocmd run img.otp
check "run without --count exits 2" 2 "$RC"
for h in -h /? help; do
    pyrocmd $h
    check "$h prints the usage" "0 Usage: pyrocmd COMMAND [OPTIONS]" "$RC $(echo "$OUT" | head -1)"
done
pyrocmd ports --probe --port 1
check "an option the command does not take exits 2, saying which" \
    "2 pyrocmd: Option --port does not apply to 'ports': it belongs to the commands that use a writer." \
    "$RC $(echo "$ERR" | head -1)"
pyrocmd blank --mcu NOSUCH
check "an unknown body exits 2" 2 "$RC"

pyrocmd detect
check "no writer on any port exits 3" 3 "$RC"
check "and prints the message line" "Disconnected from the Pyrograph." "$OUT"
check "and says where it looked" "pyrocmd: no writer answers on COM1, COM2, COM3" "$ERR"
pyrocmd blank --port 7 --json
check "no writer on the port asked for exits 3" 3 "$RC"
check "--json prints one object" \
    '{"type":"result","layout":1,"command":"blank","result":"Disconnected from the Pyrograph.","pass":false}' "$OUT"

make_image "$SCEN/img.otp"
pyrocmd info "$(winpath "$SCEN/img.otp")"
check "info on a good image exits 0" 0 "$RC"
check "info names body, checksum, ROM and option words" \
    "File PID : A6h, OID : A6h|Body: ZK30P11C-4|ROM words: 256" \
    "$(echo "$OUT" | sed -n '2,3p;5p' | paste -sd'|')"
check "the checksum is the window's" 1 "$(echo "$OUT" | grep -c '^Checksum: [0-9A-F]\{4\}h$')"
head -c 40 "$SCEN/img.otp" >"$SCEN/cut.otp"
printf 'not an image' >"$SCEN/junk.otp"
: >"$SCEN/empty.otp"
pyrocmd info "$(winpath "$SCEN/empty.otp")"
check "an empty file exits 4 with the loader's text" "4 Invalid file format!" "$RC $OUT"
pyrocmd info "$(winpath "$SCEN/cut.otp")"
check "a cut image exits 4 with the loader's text" "4 Failed to read OTP file record!" "$RC $OUT"
pyrocmd info "$(winpath "$SCEN/junk.otp")"
check "so does a text file" "4 Failed to read OTP file record!" "$RC $OUT"
pyrocmd info "$(winpath "$SCEN/missing.otp")" --json
check "a missing file exits 4" 4 "$RC"
check "and names the file" "pyrocmd: $(winpath "$SCEN/missing.otp"): Failed to open file!" "$ERR"
check "its text as JSON" '{"type":"result","layout":1,"command":"load","result":"Failed to open file!","pass":false}' "$OUT"
pyrocmd program "$(winpath "$SCEN/junk.otp")"
check "program with a bad image exits 4 before looking for a writer" 4 "$RC"

# --- A production run -----------------------------------------------------------
serial_setup 1
trap 'serial_stop_all; serial_setup' EXIT

scenario pyrocmd-run "$SAMPLE_INI
[Serial]
Enable=1
Data=305419896
[Log]
File=prod.csv"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 3 --no-wait
check "three chips pass: exit 0" 0 "$RC"
check "download, a line per chip and a summary" \
    "Download OK!|Chip 1  PASS  S/N:12345678H  Blank Check/Programming/Verify OK!|Chip 2  PASS  S/N:12345679H  Blank Check/Programming/Verify OK!|Chip 3  PASS  S/N:1234567AH  Blank Check/Programming/Verify OK!" \
    "$(echo "$OUT" | head -4 | paste -sd'|')"
check "the summary" 1 "$(echo "$OUT" | tail -1 | grep -c '^Passed: 3, failed: 0, [0-9.]* s per chip, yield 100.0 %, [0-9.]* s in all$')"
check "the writer got three consecutive numbers" "12345678 12345679 1234567A" "$(chip_numbers | paste -sd' ' -)"
check "[Serial] Data holds the next one" 305419899 "$(ini_value Serial Data)"
check "Enable is left as it was" 1 "$(ini_value Serial Enable)"
check "the production log: a line per chip with its number" \
    "pyrocmd,Auto,12345678H,PASS|pyrocmd,Auto,12345679H,PASS|pyrocmd,Auto,1234567AH,PASS" \
    "$(sed -n 2,4p "$SCEN/prod.csv" | tr -d '\r' | cut -d, -f2,8,9,12 | paste -sd'|')"

# The window goes on from there, then pyrocmd again: no number twice.
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
check_soon "the window downloads the image" "Download OK!" "ui text Pyrograph 1010" 30
ui press Pyrograph 6 >/dev/null
check_soon "the window programs the fourth chip" "Program OK!" "ui text Pyrograph 1010" 30
stop_pyrograph
pyrocmd program "$(winpath "$SCEN/img.otp")" --json
check "pyrocmd programs the fifth chip" \
    '{"type":"result","layout":1,"command":"program","serial":305419900,"result":"Program OK!","pass":true}' "$(echo "$OUT" | tail -1)"
check "window and console in turns: five numbers, none twice" \
    "12345678 12345679 1234567A 1234567B 1234567C" "$(chip_numbers | paste -sd' ' -)"
check "[Serial] Data holds the sixth" 305419901 "$(ini_value Serial Data)"

pyrocmd auto --port 1 --no-serial
check "without a file there is nothing to program: a usage error" \
    "2 pyrocmd: Command 'auto' needs an image file." "$RC $(echo "$ERR" | head -1)"
pyrocmd auto "$(winpath "$SCEN/img.otp")" --port 1 --no-serial
check "--port finds the writer on the port given" \
    "0 Download OK!|Blank Check/Programming/Verify OK!" "$RC $(echo "$OUT" | paste -sd'|')"
check "--no-serial writes no number" 5 "$(chip_numbers | wc -l)"
check "--no-serial is not stored" 1 "$(ini_value Serial Enable)"
pyrocmd detect --port 1
check "detect prints port and versions" "0 Writer on COM1|Software(V1.2), Firmware(V0102)" \
    "$RC $(echo "$OUT" | paste -sd'|')"
serial_stop_emulator 1

# --- A chip that fails verify -------------------------------------------------
# The first chip holds a word the image lacks: programming cannot clear it, so
# verify fails; the handler then brings a good chip.
scenario pyrocmd-fail "$SAMPLE_INI
[Auto]
Blank=0
Program=1
Verify=1
Lock=0
[Log]
File=prod.csv"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "word 10 3FFF" --do "swap on"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 2 --no-wait --no-serial
check "the log marks the failed chip" "Auto,,,Verify failed!,FAIL,,,3|Auto,,,Programming/Verify OK!,PASS,,,3" \
    "$(sed -n 2,3p "$SCEN/prod.csv" | tr -d '\r' | cut -d, -f8- | paste -sd'|')"
check "a failed chip makes the run exit 1" 1 "$RC"
check "its line says FAIL with the message line's text" "Chip 1  FAIL  Verify failed!" \
    "$(echo "$OUT" | sed -n 2p)"
check "the next chip passes" "Chip 2  PASS  Programming/Verify OK!" "$(echo "$OUT" | sed -n 3p)"
check "the summary counts both" 1 "$(echo "$OUT" | tail -1 | grep -c '^Passed: 1, failed: 1, ')"

# Waiting for Enter: one Enter, then the input ends, so the run stops short.
IN=$'\n'
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 3 --no-serial --json
IN=
check "a run the input ended, no chip failed, exits 0" 0 "$RC"
check "the chip before the end of input is done" \
    '{"type":"chip","layout":1,"chip":1,"serial":null,"result":"Programming/Verify OK!","pass":true}' \
    "$(echo "$OUT" | sed -n 2p)"
check "each chip is asked for on stderr, and the end of the input is said" \
    "Put chip 1 in the socket, then press Enter.|Put chip 2 in the socket, then press Enter.|pyrocmd: the input has ended: the run stops" \
    "$(echo "$ERR" | paste -sd'|')"
check "the JSON summary" 1 "$(echo "$OUT" | tail -1 | grep -c '^{"type":"summary","layout":1,"passed":1,"failed":0,')"
# q and Enter at the second prompt: the run ends there.
IN=$'\nq\n'
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 3 --no-serial
IN=
check "q ends the run after the chip before it, asked for twice, the input still open" "1|2|0" \
    "$(echo "$OUT" | grep -c '^Chip ')|$(echo "$ERR" | grep -c 'press Enter')|$(echo "$ERR" | grep -c 'input has ended')"
check "and its summary counts that chip, saying why it stopped" 1 \
    "$(echo "$OUT" | tail -1 | grep -c '^Passed: 1, failed: 0, .*, stopped: quit$')"
check "q with no chip failed exits 0" 0 "$RC"
serial_stop_emulator 1

finish
