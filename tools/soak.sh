#!/usr/bin/env bash
# A gang under faults: W emulated writers, each injecting a fault into a chip
# at random at the rate R (no reply, a bad sum, garbage, a verify failure, a
# chip not blank, an unplug followed by a plug) and keeping its own record of
# every chip; one pyrocmd run with serial numbers and the production log on;
# then pyrocmd's verdicts, log and serial numbers checked against the
# writers' records. Prints the counts; exits 1 on a wrong verdict or a lost
# or repeated number, 2 when the run could not be made.
#
#   tools/soak.sh --writers 4 --chips 200 --fault-rate 0.02 [--seed 1]
#   (needs the native emulator and mkimage, and the x86_64 pyrocmd, built)
set -u
writers=4 chips=200 rate=0.02 seed=1
while [ $# -gt 0 ]; do
    case "$1" in
        --writers) writers=$2; shift 2 ;;
        --chips) chips=$2; shift 2 ;;
        --fault-rate) rate=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        *) echo "usage: soak.sh --writers W --chips N --fault-rate R [--seed S]" >&2; exit 2 ;;
    esac
done
PYRO_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PYRO_ROOT/tests/wine/e2e-lib.sh"
# pyrocmd needs no display: one already there (the test run's) is kept, with its wineserver.
PYRO_OWN_X= wine_env_start
ports=$(seq -s' ' 1 "$writers")
# shellcheck disable=SC2086
serial_setup $ports
trap 'serial_stop_all; serial_setup; [ -n "${_wine_xvfb_pid:-}" ] && wine_env_stop' EXIT

first=256
scenario soak "$SAMPLE_INI
[Serial]
Enable=1
Data=$first
[Log]
File=prod.csv"
make_image "$SCEN/img.otp"
for n in $ports; do
    serial_start_emulator "$n" --baud 0 --do "chip pid=A6" --do "swap on" \
        --do "timing step=10 mode=5" --faults "$rate,$((seed * 100 + n))" \
        --chip-log "$SCEN/chips$n.log"
done
started=$(date +%s)
# A chip takes well under a second here; the bound only catches a hang.
timeout $((300 + chips * 4)) "$WINE" "$SCEN/pyrocmd.exe" run "$(winpath "$SCEN/img.otp")" \
    --count "$chips" --ports "$(seq -s, 1 "$writers")" --no-wait --serial --json \
    >"$SCEN/out.json" 2>"$SCEN/err.txt" </dev/null
rc=$?
echo "pyrocmd exit status $rc after $(($(date +%s) - started)) s"
data=$(ini_value Serial Data | tr -d '\r')
python3 - "$SCEN" "$writers" "$first" "$data" <<'PY'
import csv, json, sys
scen, writers, first, data = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
data = int(data) if data.lstrip('-').isdigit() else None

# The writers' own record: per port, each chip's operations, words and faults.
chips = {}  # (port, n) -> record
faults = 0
for port in range(1, writers + 1):
    for line in open(f"{scen}/chips{port}.log"):
        f = line.split()
        c = chips.setdefault((port, int(f[1])), {"ops": [], "words": {}, "faults": []})
        if f[2] == "op":
            c["ops"].append((int(f[3], 16), int(f[4], 16)))
        elif f[2] == "word":
            a = int(f[3], 16)
            c["words"][a] = c["words"].get(a, 0) | int(f[4], 16)
        elif f[2] == "fault":
            c["faults"].append(f[3])
            faults += 1
REACHED_PROGRAM = {0x00, 0xB2, 0xB3, 0xB4}  # statuses of an operation whose program step ran
for c in chips.values():
    c["programmed"] = any(m & 0x04 and s in REACHED_PROGRAM for m, s in c["ops"])
    c["verified"] = any(m & 0x08 and s == 0x00 for m, s in c["ops"])
    w = [c["words"][a] & 0xFF for a in sorted(c["words"])]
    c["serial"] = (w[0] | w[1] << 8 | w[2] << 16 | w[3] << 24) if len(w) >= 4 else None

verdicts = [json.loads(l) for l in open(f"{scen}/out.json", encoding="utf-8", errors="replace")
            if l.startswith("{")]
lines = [v for v in verdicts if v.get("type") == "chip"]
wrong = []
by_serial = {}  # (port, serial) -> chips of the record
for key, c in chips.items():
    if c["serial"] is not None:
        by_serial.setdefault((key[0], c["serial"]), []).append(key)
for v in lines:
    if not v["pass"]:
        continue
    port = int(v["port"][3:])
    found = by_serial.get((port, v["serial"]), []) if v["serial"] is not None else []
    if not any(chips[k]["programmed"] and chips[k]["verified"] for k in found):
        wrong.append(f"chip {v['chip']} on COM{port}: PASS, S/N {v['serial']}, record {found}")

log = list(csv.reader(open(f"{scen}/prod.csv", encoding="utf-8-sig", newline="")))
head, rows = log[0], log[1:]
col = {name: i for i, name in enumerate(head)}
taken = {}
for r in rows:
    text = r[col["Serial number"]]
    if text:
        taken.setdefault(int(text.rstrip("H"), 16), []).append(r[col["Serial state"]])
logged = {(int(r[col["Port"]].split()[0][3:]), int(r[col["Serial number"]].rstrip("H"), 16))
          for r in rows if r[col["Serial number"]] and r[col["Serial state"]] != "unused"}
unrecorded = [k for k, c in chips.items() if c["programmed"] and
              (c["serial"] is None or (k[0], c["serial"]) not in logged)]
unrecorded = [k for k in unrecorded if chips[k]["serial"] is not None]
# A chip programmed before its number was written is known by its port alone:
# that port's log must hold at least as many chips.
for port in range(1, writers + 1):
    made = sum(1 for k, c in chips.items() if k[0] == port and c["programmed"])
    rows_here = sum(1 for r in rows if r[col["Port"]].split()[:1] == [f"COM{port}"]
                    and r[col["Pass/Fail"]])
    unrecorded += [f"COM{port}: {made} chips programmed, {rows_here} logged"] * (made > rows_here)
lost = [n for n in range(first, data or first) if n not in taken]
repeated = [n for n, states in taken.items() if len(states) > 1]
in_chips = {}
for k, c in chips.items():
    if c["serial"] is not None:
        in_chips.setdefault(c["serial"], []).append(k)
twice = [n for n, ks in in_chips.items() if len(ks) > 1]
used = set(taken) | set(in_chips)
past = data is not None and all(n < data for n in used)

passed = sum(1 for v in lines if v["pass"])
# A FAIL for a chip the writer programmed and verified: not wrong (a lost
# reply may leave the program unsure), but a good chip thrown away.
# Each writer's chips come in the order of its lines, one record per line.
good_failed = 0
for port in range(1, writers + 1):
    mine = [v for v in lines if v["port"] == f"COM{port}"]
    for n, v in enumerate(mine, 1):
        c = chips.get((port, n))
        good_failed += (not v["pass"]) and c is not None and c["programmed"] and c["verified"]
print(f"chips: {len(lines)} with a verdict ({passed} PASS), {len(chips)} in the writers' records")
print(f"faults injected: {faults}")
print(f"wrong verdicts: {len(wrong)} (and {good_failed} FAIL for chips the writer found good)")
print(f"programmed chips without a log record: {len(unrecorded)}")
print(f"lost numbers: {len(lost)}, repeated numbers: {len(repeated)}, numbers in two chips: {len(twice)}")
print(f"[Serial] Data: {data}, past every number used: {'yes' if past else 'NO'}")
for what, items in (("wrong", wrong), ("unrecorded", unrecorded), ("lost", lost),
                    ("repeated", repeated), ("in two chips", twice)):
    for item in items[:10]:
        print(f"  {what}: {item}")
bad = wrong or unrecorded or lost or repeated or twice or not past
sys.exit(1 if bad else 0)
PY
verdict=$?
[ "$rc" -le 3 ] || { echo "pyrocmd did not end normally: $(head -c 300 "$SCEN/err.txt")"; exit 2; }
exit "$verdict"
