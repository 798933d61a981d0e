#!/usr/bin/env bash
# pyrocmd ledger through Wine's odbc32 against the private PostgreSQL cluster:
# the schema, a sequence, a station's queue uploaded once, find and report,
# texts with quotes and letters beyond ASCII, and an unreachable server (exit 7,
# the password never shown); runs that take their numbers from the ledger:
# two stations of two writers each, the server down at a station's start and
# stopped in the middle of a run, each chip's row against its CSV line.
. "$(dirname "$0")/e2e-lib.sh"
cluster="$PYRO_ROOT/tools/pg-cluster.sh"
# A cluster of this build's run alone: the other build's run stops and starts its own.
export PYRO_PG_DIR="$E2E_DIR/pg"
if ! "$cluster" start >/dev/null 2>&1; then
    check "the private PostgreSQL cluster starts" 0 1
    finish
    exit
fi
eval "$("$cluster" env)"
serial_setup 1 2 3 4
trap 'serial_stop_all; serial_setup; "$cluster" stop >/dev/null 2>&1' EXIT
# sql STATEMENT [STATION]: the station is :'st' in the statement, never pasted into it.
sql() { psql -h 127.0.0.1 -p "$PYRO_PG_PORT" -U postgres -d pyro_ledger -qtA -v st="${2:-}" <<<"$1"; }
seq="wine-$$"
station="Linie 2 O'Brien Ü工 $$"
ledger_ini() {  # ledger_ini CONNECTION
    printf '%s\n[Ledger]\nConnection=%s\nStation=%s\nSequence=%s\nBlock=3' \
        "$SAMPLE_INI" "$1" "$station" "$seq"
}
scenario ledger "$(ledger_ini "$PYRO_LEDGER_CONNECTION")"

pyrocmd ledger init
check "init exits 0" "0 " "$RC $ERR"
pyrocmd ledger init --json
check "init again changes nothing and succeeds" '0 {"type":"ledger-init","layout":1,"ok":true}' \
    "$RC $OUT"
pyrocmd ledger sequence "$seq" --first 10 --last 20 --json
check "a new sequence" '0 {"type":"ledger-sequence","layout":1,"sequence":"'"$seq"'","next":10,"last":20,"left":11}' \
    "$RC $OUT"
pyrocmd ledger sequence "$seq" --first 12 --last 9
check "a sequence whose first lies past its last is refused" 2 "$RC"

pyrocmd ledger status --json
check "status: online, no block yet, nothing waits" "0 true null 0" \
    "$RC $(echo "$OUT" | python3 -c 'import json,sys; j=json.load(sys.stdin); print(json.dumps(j["reachable"]), json.dumps(j["block"]), j["records_waiting"])')"
check "status shows no password" "" "$(echo "$OUT$ERR" | grep -o 'Pwd=unused')"

# Two records as a station queues them, one of them already uploaded once
# before a crash: the upload adds each once.
image="C:\\Bilder\\Kunde's Über\\fw.bin"
record() {  # record ID SERIAL PASS
    python3 -c 'import json,sys; print(json.dumps({"record_id": sys.argv[1], "sequence": sys.argv[2],
        "station": sys.argv[3], "program": "pyrocmd", "port": 4, "image_path": sys.argv[4],
        "checksum": "1A2B", "operation": "Auto", "serial": int(sys.argv[5]),
        "serial_state": "written", "pass": sys.argv[6] == "1", "lot": "",
        "recorded_at": "2026-12-08T09:15:02+01:00"}, ensure_ascii=False))' \
        "$1" "$seq" "$station" "$image" "$2" "$3"
}
{ record "$seq/1" 10 1; record "$seq/2" 11 0; } >"$SCEN/Larkspur-ledger-queue.jsonl"
pyrocmd ledger upload
check "upload drains the queue" "0 Every record is in the ledger." "$RC $OUT"
record "$seq/1" 10 1 >"$SCEN/Larkspur-ledger-queue.jsonl"
pyrocmd ledger upload
check "a record uploaded again adds nothing" 0 "$RC"
pyrocmd ledger find 0000000BH --sequence "$seq" --json
check "find: the record of a number, texts as they were" \
    "0 1 $station|$image|4|false|written" \
    "$RC $(echo "$OUT" | wc -l) $(echo "$OUT" | python3 -c 'import json,sys; j=json.loads(sys.stdin.readline()); print(j["station"], j["image_path"], j["port"], json.dumps(j["pass"]), j["serial_state"], sep="|")')"
pyrocmd ledger find 10
check "find by decimal number" 1 "$(echo "$OUT" | grep -c "$station")"
pyrocmd ledger report --since 2026-12-01
check "report: the station's passed and failed" "0 $station: 1 passed, 1 failed, yield 50.0 %" \
    "$RC $(echo "$OUT" | grep -F "$station:")"
pyrocmd ledger report --since yesterday
check "a date that is not one is refused" 2 "$RC"

# The server cut off: records wait, status and upload exit 7, no password shown.
scenario ledger-down "$(ledger_ini 'Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=u;Pwd=s3cr3t')"
record "$seq/3" 12 1 >"$SCEN/Larkspur-ledger-queue.jsonl"
pyrocmd ledger status
check "status of an unreachable ledger exits 7" 7 "$RC"
check "and says it is offline" "Ledger: offline (Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=u;Pwd=***)" \
    "$(echo "$OUT" | head -1)"
pyrocmd ledger upload
check "upload that cannot reach the server exits 7 with the count" "7 1 record(s) still wait on this station." \
    "$RC $OUT"
check "no password in any output" "" "$(echo "$OUT$ERR" | grep -o s3cr3t)"
# --- Runs with the ledger on ------------------------------------------------------
runseq="run-$$"
# Names beyond ASCII need the file in UTF-8 with its byte-order mark.
run_ini() {  # run_ini STATION BLOCK
    printf '\xEF\xBB\xBF%s\n[Serial]\nEnable=1\n[Log]\nFile=prod.csv\n[Ledger]\nConnection=%s\nStation=%s\nSequence=%s\nBlock=%s' \
        "$SAMPLE_INI" "$PYRO_LEDGER_CONNECTION" "$1" "$runseq" "$2"
}
start_writers() { for n in "$@"; do serial_start_emulator "$n" --baud 0 --do "chip pid=A6" --do "swap on"; done; }
run_bg() {  # run_bg FOLDER ARGS...: a console of FOLDER in the background, output in FOLDER/out
    local dir=$1
    shift
    "$WINE" "$dir/pyrocmd.exe" run "$(winpath "$dir/img.otp")" --no-wait "$@" \
        >"$dir/out" 2>"$dir/err" </dev/null &
    BG=$!
}
numbers() { for n in "$@"; do chip_numbers "$n"; done | sort; }
# The server's rows of a station, and its CSV lines, as port|checksum|serial|state|pass.
in_order() { sort -t'|' -k3,3n -k4,4 -k1,1; }
server_rows() {
    sql "select port, checksum, serial, serial_state, pass from chip_record
         where station = :'st' and sequence = '$runseq'" "$1" | sed 's/|t$/|PASS/; s/|f$/|FAIL/' | in_order
}
csv_rows() {
    [ -s "$1" ] || { echo "no log $1"; return; }
    python3 - "$1" <<'PY' | in_order
import csv, sys
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8-sig", newline="")))
for r in rows[1:]:
    port = r[2][3:] if r[2].startswith("COM") else ""
    serial = str(int(r[8].rstrip("H"), 16)) if r[8] else ""
    print("|".join([port, r[5], serial, r[9], r[11]]))
PY
}

scenario ledger-b "$(run_ini "Station B $$" 3)"
make_image "$SCEN/img.otp"
scen_b=$SCEN
scenario ledger-a "$(run_ini "$station" 3)"
make_image "$SCEN/img.otp"
scen_a=$SCEN
pyrocmd ledger sequence "$runseq" --first 100 --last 99999
start_writers 1 2 3 4
run_bg "$scen_a" --count 6 --ports 1,2
a=$BG
run_bg "$scen_b" --count 6 --ports 3,4
b=$BG
wait_pid "$a" 300
wait_pid "$b" 300
check "two stations of two writers each programmed their chips" "6 6" \
    "$(grep -c '  PASS  ' "$scen_a/out") $(grep -c '  PASS  ' "$scen_b/out")"
check "twelve numbers from the sequence in the chips, none twice" "12 " \
    "$(numbers 1 2 3 4 | wc -l) $(numbers 1 2 3 4 | uniq -d)"
check "every chip is in the server once" "12 12" \
    "$(sql "select count(*), count(distinct serial) from chip_record
            where sequence = '$runseq' and serial_state = 'written'" | tr '|' ' ')"
check "blocks of three were reserved" "0" \
    "$(sql "select count(*) from serial_block where sequence = '$runseq' and last_serial - first_serial <> 2")"
check "a chip's row carries what its CSV line does" "$(csv_rows "$scen_a/prod.csv")" "$(server_rows "$station")"
serial_stop_all

# A station whose block holds numbers programs while the server is down, and
# says so; one without numbers stops before any chip with exit 7.
SCEN=$scen_a
start_writers 1
IN=""
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 1 --port 1 --no-wait
left=$(python3 -c 'import json,sys; b=json.load(open(sys.argv[1])); print(b["last"] - b["next"] + 1)' \
    "$SCEN/Larkspur-ledger-block.json" 2>/dev/null)
"$cluster" stop >/dev/null
pyrocmd run "$(winpath "$SCEN/img.otp")" --count "$left" --port 1 --no-wait
check "with $left number(s) left, the run goes on without the server" "0 $left" \
    "$RC $(echo "$OUT" | grep -c '  PASS  ')"
check "and says once that the ledger is offline" 1 "$(echo "$ERR" | grep -c 'The ledger is offline')"
check "what waits is said at the end" 1 "$(echo "$ERR" | grep -c "ledger record(s) wait on this station")"
serials=$(numbers 1 | wc -l)
pyrocmd run "$(winpath "$SCEN/img.otp")" --count 1 --port 1 --no-wait --json
check "no number left and no server: exit 7" 7 "$RC"
check "no chip was programmed, no number written" "0 $serials" \
    "$(echo "$OUT" | grep -c '"type":"chip"') $(numbers 1 | wc -l)"
check "the refusal names the server, not its password" "named " \
    "$(echo "$ERR" | grep -q 'Server=127.0.0.1' && echo named) $(echo "$OUT$ERR" | grep -o 'Pwd=unused')"
check "the summary says why the run stopped" '"ledger_offline"' \
    "$(echo "$OUT" | tail -1 | python3 -c 'import json,sys; print(json.dumps(json.load(sys.stdin)["stopped"]))')"
"$cluster" start >/dev/null
pyrocmd ledger upload
check "once the server is back, the queue drains" 0 "$RC"
check "and the server has each of the station's chips once" "$(csv_rows "$SCEN/prod.csv")" "$(server_rows "$station")"
serial_stop_all

# The server stopped in the middle of a run and started again: programming goes
# on within the block, the queue drains in order, nothing twice.
scenario ledger-c "$(run_ini "Station C $$" 100)"
make_image "$SCEN/img.otp"
scen_c=$SCEN
start_writers 1 2
(
    for i in $(seq 1 600); do [ "$(received 1 5A)" -ge 2 ] && break; sleep 0.1; done
    "$cluster" stop >/dev/null
    for i in $(seq 1 600); do [ "$(received 1 5A)" -ge 4 ] && break; sleep 0.1; done
    "$cluster" start >/dev/null
) &
watcher=$!
run_bg "$scen_c" --count 16 --ports 1,2
wait_pid "$BG" 300
wait "$watcher"
check "every chip of the run passed through the outage" 16 "$(grep -c '  PASS  ' "$scen_c/out")"
check "the outage and the return are said" "1 1" \
    "$(grep -c 'The ledger is offline' "$scen_c/err") $(grep -c 'The ledger is online again' "$scen_c/err")"
pyrocmd ledger upload
check "nothing waits after an upload" 0 "$RC"
check "each chip is in the server once, as in the CSV" "$(csv_rows "$scen_c/prod.csv")" "$(server_rows "Station C $$")"
# --- The window -------------------------------------------------------------------
ledger_line() { wait_item 1047 "$1" 20 prefix; }
serial_stop_all
scenario ledger-w "$(run_ini "Station W $$" 2)"
make_image "$SCEN/img.otp"
start_writers 1
start_pyrograph "$(winpath "$SCEN/img.otp")"
ui wait Pyrograph >/dev/null
settle
check "the window's line: the ledger is online" \
    "Ledger online: Station W $$, sequence $runseq, 0 number(s) in the block" "$(ui text Pyrograph 1047)"
ui press Pyrograph 6 >/dev/null
settle
check_true "Program takes a block of two and says what is left" \
    ledger_line "Ledger online: Station W $$, sequence $runseq, 1 number(s)"
"$cluster" stop >/dev/null
serial_control 1 "chip pid=A6"
ui press Pyrograph 6 >/dev/null
settle
check_true "with the server away, the last number of the block is used and the line says offline" \
    ledger_line "Ledger offline: "
check "two numbers in two chips" 2 "$(numbers 1 | uniq | wc -l)"
serial_control 1 "chip pid=A6"
ui press Pyrograph 6 >/dev/null
box=$(ui msgbox-close 1 20000)
check "none left: a box names the server and stops" "named " \
    "$(echo "$box" | grep -q 'cannot be reached' && echo "$box" | grep -q 'Server=127.0.0.1' && echo named) $(echo "$box" | grep -o 'Pwd=unused')"
check "and no number went into the chip" 2 "$(numbers 1 | wc -l)"
"$cluster" start >/dev/null
check_true "the server back, the queue drains and the line says so" ledger_line "Ledger online:"
check "both chips are in the server" 2 \
    "$(sql "select count(*) from chip_record where station = :'st' and serial_state = 'written'" "Station W $$")"
stop_pyrograph
finish
