# Sourced by the end-to-end tests and the demo: a private, quiet Wine prefix under
# build/, an X server of our own, and one wineserver kept alive for the whole run.
# Needs PYRO_ROOT (the checkout) and PYRO_WINBIN (the bin folder of the Windows
# build under test). PYRO_ARCH names that build (x86_64 or i686; by default the
# one PYRO_WINBIN lies in); each has its prefix, so one test of each can run at once.

: "${PYRO_ROOT:?}" "${PYRO_WINBIN:?}"
if [ -z "${PYRO_ARCH:-}" ]; then
    case $PYRO_WINBIN in */win-i686/*) PYRO_ARCH=i686 ;; *) PYRO_ARCH=x86_64 ;; esac
fi
case $PYRO_ARCH in
    x86_64) PYRO_MSIARCH=x64 _arch_suffix="" ;;
    i686) PYRO_MSIARCH=x86 _arch_suffix=-i686 ;;
    *) echo "PYRO_ARCH must be x86_64 or i686, not $PYRO_ARCH" >&2; return 1 2>/dev/null || exit 1 ;;
esac
export PYRO_ARCH PYRO_MSIARCH
export WINEPREFIX="${WINEPREFIX:-$PYRO_ROOT/build/wineprefix$_arch_suffix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The 64-bit loader runs the tools (reg, msiexec, winepath) so that they see the
# registry as 64-bit programs do; it hands a 32-bit program to the 32-bit loader.
export WINELOADER=/usr/lib/wine/wine64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# Present when Debian's wine32 is installed: the prefix is then made WoW64.
WINE32_LOADER=/usr/lib/wine/wine

_wine_xvfb_pid=""

wine_reg() {  # wine_reg KEY VALUE DATA [TYPE]
    "$WINE" reg add "$1" /v "$2" /t "${4:-REG_SZ}" /d "$3" /f >/dev/null 2>&1
}

# xvfb_start FIRST LAST SIZE: an X server of SIZE (WxH) on the first free display
# from FIRST to LAST, made the DISPLAY; its PID in $XVFB_PID. Another run may
# take the same display at the same moment: the one whose server dies tries on.
xvfb_start() {
    local d i
    for d in $(seq "$1" "$2"); do
        [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ] && continue
        Xvfb :$d -screen 0 "$3x24" -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for i in $(seq 1 50); do
            [ -e /tmp/.X11-unix/X$d ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        sleep 0.2
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=:$d
            return 0
        fi
        wait "$XVFB_PID" 2>/dev/null
    done
    return 1
}

# A prefix made before wine32 was installed lacks the 32-bit system and cannot
# start an x86 program ("could not load kernel32.dll"): it is made again.
_wine_prefix_lacks_wow64() {
    [ -x "$WINE32_LOADER" ] && [ -d "$WINEPREFIX/drive_c/windows" ] &&
        [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

# wine_prefix_make: the prefix, made when missing, half made, or made before
# 32-bit Wine was there. Leaves no server of its own running.
wine_prefix_make() {
    if _wine_prefix_lacks_wow64; then
        echo "note: $WINEPREFIX was made without 32-bit Wine; making it again"
        "$WINESERVER" -k >/dev/null 2>&1 || true
        "$WINESERVER" -w >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    [ -f "$WINEPREFIX/.pyro-ready" ] && return 0
    mkdir -p "$WINEPREFIX"
    # A persistent server left on a half-made prefix would keep -w waiting.
    "$WINESERVER" -k >/dev/null 2>&1 || true
    # Helper processes inherit stdout: keep them off ours so pipes never hang.
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
    # A virtual desktop stands in for the missing window manager.
    wine_reg 'HKCU\Software\Wine\Explorer' Desktop Default
    wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 800x600
    "$WINESERVER" -w
    touch "$WINEPREFIX/.pyro-ready"
}

wine_env_start() {
    if [ -z "${DISPLAY:-}" ] || [ -n "${PYRO_OWN_X-1}" ]; then
        xvfb_start 90 140 1024x768
        _wine_xvfb_pid=$XVFB_PID
    fi
    wine_prefix_make
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
}

# wine_runs_x86: whether this machine runs the x86 build's programs (WoW64 in
# the prefix, which must exist); when not, prints why on one line.
wine_runs_x86() {
    local got
    if [ ! -x "$WINE32_LOADER" ]; then
        echo "x86: not run: 32-bit Wine (wine32:i386) is not installed"
        return 1
    fi
    got=$(timeout 60 "$WINE" "$PYRO_ROOT/build/win-i686/bin/bitness.exe" 2>/dev/null </dev/null | tr -d '\r' | head -2 | paste -sd' ')
    if [ "$got" != "pointer 4 bytes" ]; then
        echo "x86: not run: this machine does not run 32-bit Windows programs (${got:-no output})"
        return 1
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
