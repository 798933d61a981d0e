# Shared set-up of the end-to-end scripts: the Wine environment, assertion helpers
# and a scratch folder per scenario holding the programs and their settings file.
PYRO_ROOT="${PYRO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
PYRO_WINBIN="${PYRO_WINBIN:-$PYRO_ROOT/build/win-${PYRO_ARCH:-x86_64}/bin}"
export PYRO_ROOT PYRO_WINBIN
. "$PYRO_ROOT/tests/wine/wine-env.sh"
. "$PYRO_ROOT/tests/wine/testlib.sh"

E2E_DIR="$PYRO_ROOT/build/e2e$_arch_suffix"

# scenario NAME [INI-TEXT]: a fresh folder with the programs and, when given, Larkspur.ini.
scenario() {
    SCEN="$E2E_DIR/$1"
    rm -rf "$SCEN"
    mkdir -p "$SCEN"
    # Programs, libraries, plug-ins and the scrambled chip configurations.
    find "$PYRO_WINBIN" -maxdepth 1 -type f \( -iname "*.exe" -o -iname "*.dll" -o -iname "*.cfg" \) \
        -exec cp {} "$SCEN"/ \;
    if [ $# -ge 2 ]; then printf '%s' "$2" | sed 's/$/\r/' >"$SCEN/Larkspur.ini"; fi
}

# Starts Pyrograph of the current scenario; PYRO_PID holds its PID.
start_pyrograph() {
    wine_start "$SCEN/Pyrograph.exe" "$@"
    PYRO_PID=$WINE_PID
}

# Closes the main window (answering any message box first) and waits for the program.
stop_pyrograph() {
    local i
    for i in 1 2 3; do ui msgbox-close 1 300 >/dev/null 2>&1 || break; done
    ui click Pyrograph 2 >/dev/null 2>&1
    wait_pid "$PYRO_PID" 10 || echo "note: Pyrograph had to be killed"
    # Under the 32-bit loader the process waited for may end before the window
    # does, and a window still there turns the next start away.
    ui gone Pyrograph 10000 >/dev/null 2>&1
}

# wait_idle [SECS]: until no command runs in the window: Open, disabled while
# one does, is enabled again (engineering mode). A click that lands during a
# command is dropped, as the disabled button would drop it.
wait_idle() {
    local i due=$((SECONDS + 5 * ${1:-20}))
    for i in $(tries "${1:-20}"); do
        [ "$(ui state Pyrograph 1009 | cut -d' ' -f1)" = enabled=1 ] && return 0
        past_due "$due" && return 1
        sleep 0.1
    done
    return 1
}

# A message line that stops changing for a second after something ran.
settle() {
    local last="" now i
    for i in $(seq 1 100); do
        now=$(ui text Pyrograph 1010)
        [ "$now" = "$last" ] && [ -n "$now" ] && return 0
        last=$now
        sleep 1
    done
}

# wait_item ID TEXT [SECS] [prefix]: until the window's control ID shows TEXT
# (with "prefix": a text that begins with it); 20 s at most by default.
wait_item() {
    local i now due=$((SECONDS + 5 * ${3:-20}))
    for i in $(tries "${3:-20}"); do
        now=$(ui text Pyrograph "$1")
        if [ "${4:-}" = prefix ]; then
            [ "${now#"$2"}" != "$now" ] && return 0
        elif [ "$now" = "$2" ]; then
            return 0
        fi
        past_due "$due" && return 1
        sleep 0.1
    done
    return 1
}
# wait_message TEXT [SECS]: until the message line shows TEXT.
wait_message() { wait_item 1010 "$1" "${2:-20}"; }

# Reads a value of the scenario's settings file (section and key as written).
ini_value() {
    awk -v s="[$1]" -v k="$2" 'BEGIN{IGNORECASE=1} {sub(/\r$/,"")}
        /^\[/ {insec = (tolower($0) == tolower(s)); next}
        insec { p = index($0, "="); if (p && tolower(substr($0,1,p-1)) == tolower(k)) print substr($0,p+1) }' \
        "$SCEN/Larkspur.ini"
}

SAMPLE_INI='[Setting]
BodyName=ZK30P11C-4
ver=new
[Body]
count=3
Body0=ZK30P11C-4,A6,A6,2000,1,0,0
Body1=ZK20P08B,A0,A0,800,1,0,0
Body2=ZV62Q160,D8,E2,FA000,0,0,0,noreset'

# Serial ports: the modem-line shim in every Wine process; COM ports that a test
# does not map to the writer emulator are absent (tests/wine/serial-env.sh).
. "$PYRO_ROOT/tests/wine/serial-env.sh"
serial_build_shim
serial_preload

# Answers every message box that turns up until none has for a while; prints their texts.
dismiss_boxes() {
    local i text
    for i in $(seq 1 12); do
        text=$(ui msgbox-close 1 "${1:-1500}") || break
        printf '%s\n' "$text" | tail -1
    done
}

# pyrocmd ARGS...: pyrocmd of the current scenario; stdout in $OUT, stderr in $ERR,
# the exit status in $RC; standard input from $IN (empty: none).
pyrocmd() {
    printf '%s' "${IN:-}" >"$SCEN/stdin"
    timeout 240 "$WINE" "$SCEN/pyrocmd.exe" "$@" >"$SCEN/stdout" 2>"$SCEN/stderr" <"$SCEN/stdin"
    RC=$?
    OUT=$(tr -d '\r' <"$SCEN/stdout")
    ERR=$(tr -d '\r' <"$SCEN/stderr")
}

# make_image FILE: a 0x100-word image of ZK30P11C-4 whose serial words have blank low bytes.
make_image() {
    "$PYRO_NATIVEBIN/mkimage" -o "$1" --pid A6 --oid A6 --rom 100 --fill 3F00 --options 3FFF >/dev/null
}

# received N CODE: how many frames of command CODE the emulator of COMN took.
received() { serial_log "$1" | awk -v c="$2" '$2 == "RX" && $4 == c' | wc -l; }

# chip_numbers [N]: the numbers the writer of COMN (1) got in its serial word
# writes (byte 0 at the first word written ... byte 3 at the fourth), one "%08X" a line.
chip_numbers() {
    serial_log "${1:-1}" | awk '$2 == "RX" && $4 == "57" { b[n++] = $8 }
        END { for (i = 0; i + 3 < n; i += 4) printf "%s%s%s%s\n", b[i+3], b[i+2], b[i+1], b[i] }'
}

# change_job_byte JOB OUT: JOB with one byte of its image changed, its seal left as it was.
change_job_byte() {
    python3 - "$1" "$2" <<'PY'
import base64, json, sys
doc = json.load(open(sys.argv[1]))
line = bytearray(base64.b64decode(doc["job"]["image"][1]))
line[0] ^= 0x01
doc["job"]["image"][1] = base64.b64encode(bytes(line)).decode()
json.dump(doc, open(sys.argv[2], "w"), indent=2)
PY
}
