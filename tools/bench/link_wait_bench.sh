#!/usr/bin/env bash
# Benchmark (prints figures, asserts nothing): CPU time over wall time of the
# programs while they wait for the writer, against the floor measured in the
# same run (floorprobe.exe: one thread, blocking reads of each reply's length,
# the same frames at the same intervals).
#  1. Through a writer busy phase of BUSY_MS, polled every 100 ms: the floor,
#     then the link probe (serial port + link engine, as linked into Pyrograph).
#  2. Through a chip operation's busy phase of BUSY_MS, polled every 150 ms:
#     the floor, then Pyrograph's Blank Check, measured from outside through
#     /proc (programming mode entered and left included).
#  3. Pyrograph's start-up Detect Connect with three ports that never answer
#     (three 1000 ms reply waits).
# Needs the native emulator and the x86_64 Windows build. LINKPROBE and
# PYROGRAPH name other builds of the two programs to measure.
set -u
BUSY_MS=${BUSY_MS:-10000}
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tests/wine/e2e-lib.sh"
wine_env_start
trap 'serial_stop_all; serial_park; wine_env_stop' EXIT
serial_setup 2

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# The share in a CPU line: "... = 1.23% of one core" gives 1.23.
share_of() { sed -n 's/.* = \([0-9.]*\)% of one core.*/\1/p' | tail -1; }
above() { awk -v a="$1" -v f="$2" 'BEGIN { printf "  %+.2f points over the floor\n", a - f }'; }

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# busy_wait NAME CONTROL PROGRAM ARGS...: a probe through a busy phase of
# BUSY_MS (CONTROL: the emulator's busy line); its CPU share is left in $share.
busy_wait() {
    local name=$1 control=$2
    shift 2
    serial_start_emulator 2
    serial_control 2 "$control"
    "$WINE" "$@" >"$SERIAL_DIR/bench.out" 2>/dev/null </dev/null
    echo "$name, busy phase of ${BUSY_MS} ms, $(grep -c ' RX 03 5E 61' "$SERIAL_DIR/com2.log") polls:"
    tr -d '\r' <"$SERIAL_DIR/bench.out" | grep -E '^(CPU|STATUS)' | sed 's/^/  /'
    share=$(tr -d '\r' <"$SERIAL_DIR/bench.out" | grep '^CPU' | share_of)
    serial_stop_all
}

# 1. Busy phase polled every 100 ms.
busy_wait "floor (floorprobe.exe)" "busy $BUSY_MS" "$PYRO_WINBIN/floorprobe.exe" 2 busy 0x5A 0 100
floor=$share
busy_wait "linkprobe.exe" "busy $BUSY_MS" "${LINKPROBE:-$PYRO_WINBIN/linkprobe.exe}" ensure cpu-begin polling 0x5A cpu-end
[ -n "$floor" ] && [ -n "$share" ] && above "$share" "$floor"

# The floor of a chip operation's wait: the same busy phase polled every 150 ms.
busy_wait "floor of an operation (floorprobe.exe, polled every 150 ms)" "busy $BUSY_MS cmd=59" \
    "$PYRO_WINBIN/floorprobe.exe" 2 busy 0x59 0x02 150
floor=$share

# 2. The main program through a busy phase.
serial_start_emulator 2
scenario bench-busy "$SAMPLE_INI"
[ -n "${PYROGRAPH:-}" ] && cp "$PYROGRAPH" "$SCEN/Pyrograph.exe"
start_pyrograph
ui wait Pyrograph >/dev/null
for i in $(seq 1 100); do
    [ "$(ui text Pyrograph 1010)" = "Download driver OK!" ] && break
    sleep 0.1
done
serial_control 2 "busy $BUSY_MS cmd=59"
sleep 0.2
t0=$(date +%s%N)
c0=$(cpu_ticks "$PYRO_PID")
ui command Pyrograph 5 >/dev/null
# The operation ends by leaving programming mode.
for i in $(seq 1 $((BUSY_MS / 100 + 100))); do
    [ "$(serial_log 2 | grep -c ' RX 04 5B 00 5F')" -ge 1 ] && break
    sleep 0.1
done
c1=$(cpu_ticks "$PYRO_PID")
t1=$(date +%s%N)
sleep 0.5
msg=$(ui text Pyrograph 1010)
wall_ms=$(((t1 - t0) / 1000000))
cpu_ms=$(((c1 - c0) * 1000 / ticks))
echo "Pyrograph Blank Check through the busy phase ($(serial_log 2 | grep -c ' RX 03 5E 61') polls, ended with \"$msg\"):"
share=$(awk -v c=$cpu_ms -v w=$wall_ms 'BEGIN{printf "%.2f", 100*c/w}')
echo "  cpu ${cpu_ms} ms wall ${wall_ms} ms = ${share}% of one core"
[ -n "$floor" ] && above "$share" "$floor"
stop_pyrograph
serial_stop_all

# 3. Reply waits of the main program.
serial_setup 1 2 3
for n in 1 2 3; do serial_start_emulator $n --muted; done
scenario bench "$SAMPLE_INI"
[ -n "${PYROGRAPH:-}" ] && cp "$PYROGRAPH" "$SCEN/Pyrograph.exe"
start_pyrograph
t0=$(date +%s%N)
c0=$(cpu_ticks "$PYRO_PID")
ui wait Pyrograph >/dev/null
for i in $(seq 1 100); do
    [ "$(ui text Pyrograph 1001)" = "Disconnected" ] && break
    sleep 0.1
done
c1=$(cpu_ticks "$PYRO_PID")
t1=$(date +%s%N)
wall_ms=$(((t1 - t0) / 1000000))
cpu_ms=$(((c1 - c0) * 1000 / ticks))
echo "Pyrograph start-up search over three silent ports:"
echo "  cpu ${cpu_ms} ms wall ${wall_ms} ms = $(awk -v c=$cpu_ms -v w=$wall_ms 'BEGIN{printf "%.2f", 100*c/w}')% of one core (start-up included)"
stop_pyrograph
