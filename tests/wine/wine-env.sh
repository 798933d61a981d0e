# Sourced by the end-to-end tests and the demo: a private, quiet Wine prefix under
# build/, an X server of our own, and one wineserver kept alive for the whole run.
# Needs PYRO_ROOT (the checkout) and PYRO_WINBIN (the x86_64 build's bin folder).

: "${PYRO_ROOT:?}" "${PYRO_WINBIN:?}"
export WINEPREFIX="${WINEPREFIX:-$PYRO_ROOT/build/wineprefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=/usr/lib/wine/wine64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

_wine_xvfb_pid=""

wine_reg() {  # wine_reg KEY VALUE DATA [TYPE]
    "$WINE" reg add "$1" /v "$2" /t "${4:-REG_SZ}" /d "$3" /f >/dev/null 2>&1
}

# xvfb_start FIRST LAST SIZE: an X server of SIZE (WxH) on the first free display
# from FIRST to LAST, made the DISPLAY; its PID in $XVFB_PID.
xvfb_start() {
    local d i
    for d in $(seq "$1" "$2"); do
        [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ] && continue
        Xvfb :$d -screen 0 "$3x24" -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=:$d
        break
    done
    for i in $(seq 1 50); do [ -e /tmp/.X11-unix/X${DISPLAY#:} ] && break; sleep 0.1; done
}

wine_env_start() {
    if [ -z "${DISPLAY:-}" ] || [ -n "${PYRO_OWN_X-1}" ]; then
        xvfb_start 90 140 1024x768
        _wine_xvfb_pid=$XVFB_PID
    fi
    # Helper processes inherit stdout: keep them off ours so pipes never hang.
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
    if [ ! -f "$WINEPREFIX/.pyro-ready" ]; then
        mkdir -p "$WINEPREFIX"
        "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
        "$WINESERVER" -w
        "$WINESERVER" -p >/dev/null 2>&1 </dev/null
        # A virtual desktop stands in for the missing window manager.
        wine_reg 'HKCU\Software\Wine\Explorer' Desktop Default
        wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 800x600
        touch "$WINEPREFIX/.pyro-ready"
    fi
}

wine_env_stop() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
    if [ -n "$_wine_xvfb_pid" ]; then
        kill "$_wine_xvfb_pid" 2>/dev/null || true
        wait "$_wine_xvfb_pid" 2>/dev/null || true
        _wine_xvfb_pid=""
    fi
}

# Unix path -> Windows path in the prefix (Z: maps the root).
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

# Starts a Windows program in the background; its PID is in $WINE_PID.
wine_start() {
    "$WINE" "$@" >/dev/null 2>&1 </dev/null &
    WINE_PID=$!
}

# Runs a Windows console program in the foreground and prints its output.
# The program's own exit status, not that of the filter.
wine_run() {
    "$WINE" "$@" 2>/dev/null </dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# The driver answers 0, 1 or 2; anything else means Wine did not run it (seen once
# on a loaded machine), so it is started again rather than read as an answer.
ui() {
    local out rc i
    for i in 1 2 3; do
        out=$(wine_run "$PYRO_WINBIN/uidriver.exe" "$@")
        rc=$?
        [ "$rc" -le 2 ] && break
    done
    [ -z "$out" ] || printf '%s\n' "$out"
    return "$rc"
}

# Waits for a PID to end, killing it after the given seconds.
wait_pid() {
    local pid=$1 secs=${2:-10} i
    for i in $(seq 1 $((secs * 10))); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 1
}

screenshot() { import -window root "$1" 2>/dev/null; }
