#!/usr/bin/env bash
# pyrocmd as a production script meets it: Ctrl+C at the prompt, a [Serial]
# Data that is no number, the last number, q, a gang writer whose download
# fails, a kill in the middle of a run, and a log held open by another program.
. "$(dirname "$0")/e2e-lib.sh"

serial_setup 1 2
trap 'serial_stop_all; serial_setup' EXIT

# pyrocmd_bg ARGS...: pyrocmd in the background, its input an open pipe; PID in $BG.
pyrocmd_bg() {
    rm -f "$SCEN/in.fifo"
    mkfifo "$SCEN/in.fifo"
    "$WINE" "$SCEN/pyrocmd.exe" "$@" >"$SCEN/stdout" 2>"$SCEN/stderr" <"$SCEN/in.fifo" &
    BG=$!
    exec 7>"$SCEN/in.fifo"  # the input stays open and says nothing
}
# wait_for FILE TEXT: until FILE holds TEXT (30 s at most).
wait_for() {
    local i
    for i in $(seq 1 300); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}
# The program itself, which a signal must reach: under the 32-bit loader the
# process started is a launcher that passes no signal on. It is told by its
# path in this scenario (as Wine names it, Unix or Windows), since the other
# build's tests run the same programs at the same time.
# The 32-bit loader may show another name for a moment: asked again for 5 s.
program_pid() {
    local exe="$SCEN/${1:-pyrocmd.exe}" pid="" i
    for i in $(seq 1 50); do
        pid=$(ps -eo pid=,args= | U="$exe" W="$(winpath "$exe")" \
            awk '$2 == ENVIRON["U"] || $2 == ENVIRON["W"] { p = $1 } END { print p }')
        [ -n "$pid" ] && break
        sleep 0.1
    done
    echo "$pid"
}
# reap: the background pyrocmd's exit status in $RC, its output in $OUT and $ERR.
reap() {
    wait "$BG" 2>/dev/null
    RC=$?
    exec 7>&-
    OUT=$(tr -d '\r' <"$SCEN/stdout")
    ERR=$(tr -d '\r' <"$SCEN/stderr")
}

scenario console-faults "$SAMPLE_INI
[Serial]
Enable=1
Data=abc
[Log]
File=prod.csv"
make_image "$SCEN/img.otp"
IMG=$(winpath "$SCEN/img.otp")
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"

# --- [Serial] Data that is no number -------------------------------------------
for bad in abc '' -5 99999999999; do
    sed -i "s/^Data=.*/Data=$bad/" "$SCEN/Larkspur.ini"
    pyrocmd run "$IMG" --count 1 --no-wait --serial
    check "Data='$bad': exit 6" 6 "$RC"
    check "Data='$bad': the key and the value are named" 1 \
        "$(echo "$ERR" | grep -c "^pyrocmd: \[Serial\] Data in Larkspur.ini is '$bad', not a number")"
done
check "no word was written" 0 "$(received 1 57)"
check "the value is left for the user to mend" 99999999999 "$(ini_value Serial Data)"

# --- A settings file held open by another program, or missing --------------------
"$WINE" "$SCEN/hold_file.exe" "$(winpath "$SCEN/Larkspur.ini")" >"$SCEN/hold.out" 2>/dev/null &
holder=$!
wait_for "$SCEN/hold.out" held
held=$(program_pid hold_file.exe)
pyrocmd blank --port 1
kill "$held"
wait "$holder" 2>/dev/null
check "a settings file held by another program: exit 6, saying so" \
    "6 pyrocmd: Cannot read '$(winpath "$SCEN/Larkspur.ini")': another program holds it open" "$RC $ERR"
mv "$SCEN/Larkspur.ini" "$SCEN/Larkspur.away"
pyrocmd detect --json
mv "$SCEN/Larkspur.away" "$SCEN/Larkspur.ini"
check "a missing one: exit 6, with the full path looked in" \
    "6 pyrocmd: Cannot find '$(winpath "$SCEN/Larkspur.ini")'" "$RC $ERR"
check "and its JSON result names the step" 1 "$(echo "$OUT" | grep -c '"pass":false,"step":"settings"}$')"

# --- Ctrl+C at the prompt, the input a pipe left open ---------------------------
sed -i "s/^Data=.*/Data=31/" "$SCEN/Larkspur.ini"
pyrocmd_bg run "$IMG" --count 3 --serial --json
wait_for "$SCEN/stderr" "Put chip 1"
sent=$(date +%s%N)
kill -INT "$(program_pid)"
reap
took=$(( ($(date +%s%N) - sent) / 1000000 ))
check "Ctrl+C at the prompt: exit 130" 130 "$RC"
check_true "within 2 s ($took ms)" test "$took" -lt 2000
check "with the summary, saying so" 1 \
    "$(echo "$OUT" | tail -1 | grep -c '"stopped":"interrupt"')"
check "no chip was touched" 0 "$(received 1 5A)"

# The same on a pseudo-terminal, which Wine takes for a console.
rm -f "$SCEN/in.fifo"
mkfifo "$SCEN/in.fifo"
timeout 60 script -qfec "$WINE $SCEN/pyrocmd.exe run '$IMG' --count 3 --no-serial --json 2>$SCEN/pty.err" \
    "$SCEN/pty.out" >/dev/null 2>&1 <"$SCEN/in.fifo" &
pty=$!
exec 7>"$SCEN/in.fifo"
wait_for "$SCEN/pty.err" "Put chip 1"
wpid=$(program_pid)
sent=$(date +%s%N)
kill -INT "$wpid"
wait "$pty"
RC=$?
exec 7>&-
took=$(( ($(date +%s%N) - sent) / 1000000 ))
check "Ctrl+C at the prompt on a pty: exit 130" 130 "$RC"
check_true "within 2 s ($took ms)" test "$took" -lt 2000
# The console draws with escape sequences and wraps the lines.
check "with the summary, saying so" 1 \
    "$(sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$SCEN/pty.out" | tr -d '\r\n' | grep -c '"stopped":"interrupt"')"

# --- q after one passed chip --------------------------------------------------
IN=$'\nq\n'
pyrocmd run "$IMG" --count 3 --serial
IN=
check "q after one passed chip: exit 0" 0 "$RC"
check "its number is printed" 1 "$(echo "$OUT" | grep -c '^Chip 1  PASS  S/N:0000001FH  ')"

# --- kill -9 in the middle of a run ---------------------------------------------
serial_control 1 "timing step=400"
pyrocmd_bg run "$IMG" --count 20 --serial --no-wait
# Killed with the third chip's number reserved, before its fate is logged.
wait_for "$SCEN/stdout" "Chip 2 "
wait_for "$SCEN/Larkspur.ini.serials" "^R 34 "
{ kill -9 "$(program_pid)"; wait "$BG"; } 2>/dev/null
reap
# The writer ends the pass it was on; the operator takes that chip out.
sleep 4
serial_control 1 "timing step=10"
serial_control 1 "chip pid=A6"
pyrocmd program "$IMG" --serial
check "the next run programs" 0 "$RC"
passed=$(( $(ini_value Serial Data) ))
logged=$(tail -n +2 "$SCEN/prod.csv" | cut -d, -f9 | grep . | sort -u | paste -sd' ')
check "every number Data passed over is in the log" \
    "$(for ((n = 31; n < passed; n++)); do printf '%08XH\n' "$n"; done | paste -sd' ')" "$logged"
check "the one under way is burned, found after a crash" 1 \
    "$(grep -c ',burned,Found after a crash' "$SCEN/prod.csv")"

# --- A log held open for the whole run ------------------------------------------
"$WINE" "$SCEN/hold_file.exe" "$(winpath "$SCEN/prod.csv")" >"$SCEN/hold.out" 2>/dev/null &
holder=$!
wait_for "$SCEN/hold.out" held
held=$(program_pid hold_file.exe)
pyrocmd run "$IMG" --count 2 --no-wait --no-serial
kill "$held"
wait "$holder" 2>/dev/null
check "a log held open for the whole run: exit 8" 8 "$RC"
check "its lines wait beside it" 2 "$(grep -c ',Auto,' "$SCEN/prod.csv.pending")"
check "the summary says where" 1 "$(echo "$OUT" | grep -c "^2 log lines could not be written: they wait in '.*prod.csv.pending'$")"
before=$(grep -c ',Auto,' "$SCEN/prod.csv")
pyrocmd run "$IMG" --count 1 --no-wait --no-serial
check "the next run appends them first, then its own" "0 $((before + 3))" \
    "$RC $(grep -c ',Auto,' "$SCEN/prod.csv")"
check "and the pending file is gone" no "$([ -e "$SCEN/prod.csv.pending" ] && echo yes || echo no)"

# --- The last number ------------------------------------------------------------
sed -i "s/^Data=.*/Data=4294967295/" "$SCEN/Larkspur.ini"
pyrocmd program "$IMG" --serial
check "Data=4294967295: the chip gets FFFFFFFFH" "0 FFFFFFFF" "$RC $(chip_numbers | tail -1)"
pyrocmd program "$IMG" --serial
check "and the next run finds the range used up" 5 "$RC"
serial_stop_all

# --- A gang whose COM2 download fails -------------------------------------------
scenario console-gang "$SAMPLE_INI"
make_image "$SCEN/img.otp"
serial_start_emulator 1 --baud 0 --do "chip pid=A6" --do "swap on"
serial_start_emulator 2 --baud 0 --do "chip pid=A6" --do "swap on" --do "fault refuse cmd=5C count=99"
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 3 --ports 1,2 --no-wait --json
check "COM2's download fails, COM1 programs the chips: exit 1" "1 3" \
    "$RC $(echo "$OUT" | grep -c '"type":"chip","layout":1,"port":"COM1"')"
check "the download object names COM2" 1 \
    "$(echo "$OUT" | grep -c '"port":"COM2","command":"download",.*"pass":false')"
check "the summary names COM2 as dropped" 1 \
    "$(echo "$OUT" | tail -1 | grep -c '"port":"COM2",[^}]*"dropped":"the download failed"')"
serial_stop_all

# --- Several writers missing ----------------------------------------------------
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 2 --ports 3,4,5 --no-wait
check "none of three answering: exit 3, all named" "3 pyrocmd: no writer answers on COM3, COM4, COM5" \
    "$RC $(echo "$ERR" | grep 'no writer answers')"

finish
