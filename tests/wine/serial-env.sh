# Sourced after wine-env.sh: the writer emulator on fixed paths and the COM
# ports of the prefix mapped to them, with the modem-line shim preloaded.
# Needs PYRO_ROOT and PYRO_NATIVEBIN (the native build's bin folder).

: "${PYRO_ROOT:?}"
PYRO_NATIVEBIN="${PYRO_NATIVEBIN:-$PYRO_ROOT/build/native/bin}"
SERIAL_DIR="${SERIAL_DIR:-$PYRO_ROOT/build/serial$_arch_suffix}"
# One shim for each kind of Wine process: 32-bit programs run in a 32-bit
# process of their own. The dynamic loader picks the one of its class through
# $LIB (lib/x86_64-linux-gnu or lib/i386-linux-gnu on Debian).
MODEMSHIM="$SERIAL_DIR/\$LIB/modemshim.so"
declare -A _emu_pid=()

# Builds the shims (plain cc: they must not carry the sanitizers of the native tree).
serial_build_shim() {
    local flags out
    for flags in "" -m32; do
        out="$SERIAL_DIR/lib/$([ -z "$flags" ] && echo x86_64 || echo i386)-linux-gnu/modemshim.so"
        if [ ! -f "$out" ] || [ "$PYRO_ROOT/tests/wine/modemshim.c" -nt "$out" ]; then
            mkdir -p "$(dirname "$out")"
            cc $flags -shared -fPIC -O2 -Wall -Wextra -Werror -o "$out" \
                "$PYRO_ROOT/tests/wine/modemshim.c" -ldl
        fi
    done
}

# The wineserver and every Wine process must carry the shim: the serial ioctls
# run in the unix side of the program's own process.
serial_preload() { export LD_PRELOAD="$MODEMSHIM${LD_PRELOAD:+:$LD_PRELOAD}"; }

# serial_map_port N PATH: COMN of the prefix is PATH (a missing PATH fails to open).
serial_map_port() {
    wine_reg 'HKLM\Software\Wine\Ports' "COM$1" "$2"
}

# serial_park: COM1-COM3 lead nowhere, so opening them fails at once and
# silently, as on a PC without those ports. (A mapping in the registry would
# make Wine create a device that opens and then fails every call; the shim
# hides the machine's /dev/ttyS* from Wine's own port detection.)
serial_park() { serial_setup; }

# serial_apply_ports: Wine builds its COM devices from the mapping when its
# services start, so a changed mapping needs a fresh wineserver.
serial_apply_ports() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
}

# serial_setup N...: COMN mapped to $SERIAL_DIR/comN for each N given (start
# an emulator there), the other ports of COM1-COM3 parked, and so are ports
# above COM3 that an earlier call of this shell mapped.
_serial_mapped=""
serial_setup() {
    local n
    for n in $(printf '%s\n' 1 2 3 $_serial_mapped "$@" | sort -nu); do
        if [[ " $* " == *" $n "* ]]; then
            serial_map_port "$n" "$SERIAL_DIR/com$n"
        else
            "$WINE" reg delete 'HKLM\Software\Wine\Ports' /v "COM$n" /f >/dev/null 2>&1 || true
            rm -f "$WINEPREFIX/dosdevices/com$n"
        fi
    done
    _serial_mapped="$*"
    serial_apply_ports
}

# serial_start_emulator N [OPTIONS...]: emulator for COMN at $SERIAL_DIR/comN,
# log $SERIAL_DIR/comN.log, control FIFO $SERIAL_DIR/comN.ctl.
serial_start_emulator() {
    local n=$1
    shift
    local link="$SERIAL_DIR/com$n"
    rm -f "$link" "$SERIAL_DIR/com$n.log"
    env -u LD_PRELOAD "$PYRO_NATIVEBIN/writer_emulator" --link "$link" \
        --log "$SERIAL_DIR/com$n.log" --control "$SERIAL_DIR/com$n.ctl" "$@" \
        >/dev/null 2>"$SERIAL_DIR/com$n.err" </dev/null &
    _emu_pid[$n]=$!
    local i
    for i in $(seq 1 50); do [ -L "$link" ] && [ -p "$SERIAL_DIR/com$n.ctl" ] && break; sleep 0.1; done
}

serial_stop_emulator() {
    local n=$1
    if [ -n "${_emu_pid[$n]:-}" ]; then
        kill "${_emu_pid[$n]}" 2>/dev/null || true
        wait "${_emu_pid[$n]}" 2>/dev/null || true
        unset "_emu_pid[$n]"
    fi
}

serial_stop_all() {
    local n
    for n in "${!_emu_pid[@]}"; do serial_stop_emulator "$n"; done
}

# How many times the emulator of COM$1 has logged taking control line $2.
_serial_controls_taken() {
    awk -v s=" -- control $2" 'substr($0, length($0) - length(s) + 1) == s { n++ } END { print n + 0 }' \
        "$SERIAL_DIR/com$1.log" 2>/dev/null || echo 0
}

# serial_control N LINE: one control line to the emulator of COMN. Returns once
# the emulator has taken it, so that a fault or a new chip is in place before
# the next command reaches the port.
serial_control() {
    local before i
    before=$(_serial_controls_taken "$1" "$2")
    printf '%s\n' "$2" >"$SERIAL_DIR/com$1.ctl"
    for i in $(seq 1 50); do
        [ "$(_serial_controls_taken "$1" "$2")" -gt "$before" ] && return 0
        sleep 0.1
    done
    echo "emulator on COM$1 did not take: $2" >&2
    return 1
}

# serial_log N: the emulator's frame log of COMN (empty when none).
serial_log() { cat "$SERIAL_DIR/com$1.log" 2>/dev/null || true; }
