#!/usr/bin/env bash
# Benchmark (prints figures, asserts nothing): CPU time over wall time of the
# programs while they wait for the writer.
#  1. The link probe (serial port + link engine, as linked into Pyrograph) waits
#     through a writer busy phase of BUSY_MS, polling every 100 ms.
#  2. Pyrograph's Blank Check through a busy phase of BUSY_MS (polls every
#     150 ms), measured from outside through /proc.
#  3. Pyrograph's start-up Detect Connect with three ports that never answer
#     (three 1000 ms reply waits).
# Needs the native emulator and the x86_64 Windows build.
set -u
BUSY_MS=${BUSY_MS:-10000}
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tests/wine/e2e-lib.sh"
wine_env_start
trap 'serial_stop_all; serial_park; wine_env_stop' EXIT
serial_setup 2

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# 1. Busy phase.
serial_start_emulator 2
serial_control 2 "busy $BUSY_MS"
"$WINE" "$PYRO_WINBIN/linkprobe.exe" ensure cpu-begin polling 0x5A cpu-end \
    >"$SERIAL_DIR/bench.out" 2>/dev/null </dev/null
polls=$(grep -c ' RX 03 5E 61' "$SERIAL_DIR/com2.log")
echo "busy phase of ${BUSY_MS} ms, ${polls} polls:"
tr -d '\r' <"$SERIAL_DIR/bench.out" | grep -E '^(CPU|STATUS)' | sed 's/^/  /'
serial_stop_all

# 2. The main program through a busy phase.
serial_start_emulator 2
scenario bench-busy "$SAMPLE_INI"
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
echo "  cpu ${cpu_ms} ms wall ${wall_ms} ms = $(awk -v c=$cpu_ms -v w=$wall_ms 'BEGIN{printf "%.2f", 100*c/w}')% of one core"
stop_pyrograph
serial_stop_all

# 3. Reply waits of the main program.
serial_setup 1 2 3
for n in 1 2 3; do serial_start_emulator $n --muted; done
scenario bench "$SAMPLE_INI"
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
