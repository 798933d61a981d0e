#!/usr/bin/env bash
# The main job on its embedded default: the writer emulator on COM1 with a chip in
# its socket, Pyrograph under Wine opening the sample image, downloading it, running
# an Auto pass and showing the option report. With a display (DISPLAY set) the window
# stays open for you to use; without one the run is headless and leaves a
# screenshot in build/demo/pyrograph.png. Then the console program on two emulated
# writers side by side: three chips each, serial numbers on.
set -uo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh || exit 1
mkdir -p build
echo "Building the emulator and the x86_64 programs (log: build/demo-build.log)..."
./tools/build.sh --demo >build/demo-build.log 2>&1 || { tail -30 build/demo-build.log; exit 1; }

export PYRO_ROOT=$PWD PYRO_WINBIN=$PWD/build/win-x86_64/bin PYRO_NATIVEBIN=$PWD/build/native/bin
visible=${DISPLAY:+1}
[ -n "$visible" ] && export PYRO_OWN_X=
. tests/wine/e2e-lib.sh

wine_env_start
serial_setup 1
trap 'serial_stop_all; wine_env_stop' EXIT
serial_start_emulator 1

scenario demo "$(cat samples/Larkspur.ini)"
cp samples/ZK30P11C-4.otp "$SCEN/"
start_pyrograph "$(winpath "$SCEN/ZK30P11C-4.otp")"
ui wait Pyrograph 20000 >/dev/null || { echo "Pyrograph did not open"; exit 1; }

# wait_message PATTERN SECONDS [OLD]: until the message line matches and differs from OLD.
wait_message() {
    local i msg
    for i in $(seq 1 $(($2 * 5))); do
        msg=$(ui text Pyrograph 1010)
        [[ "$msg" =~ $1 ]] && [ "$msg" != "${3:-}" ] && { echo "$msg"; return 0; }
        sleep 0.2
    done
    echo "$msg"
    return 1
}

show() { printf '  %-10s %s\n' "$1" "$(ui text Pyrograph "$2")"; }

# The demo fails (exit 1) when a step does, after showing what it could.
status=0
echo "Opening and downloading the sample image..."
downloaded=$(wait_message 'Download (OK|fail)' 120)
echo "  -> $downloaded"
[[ "$downloaded" == "Download OK!" ]] || status=1
echo "Auto pass (blank check, program, verify)..."
ui click Pyrograph 4
auto=$(wait_message '!$' 120 "$downloaded")
echo "  -> $auto"
[[ "$auto" == *" OK!" ]] || status=1
show "Image" 1008
show "MCU" 1035
show "Checksum" 1034
show "Driver" 1036
show "Link" 1001
show "Version" 1003

mkdir -p build/demo
screenshot build/demo/pyrograph.png
echo "Screenshot: build/demo/pyrograph.png"

echo "Option report of the image (Option > Option...):"
ui command Pyrograph 32771
if ui wait "MCU Option" 10000 >/dev/null; then
    ui text "MCU Option" 1023 | sed 's/^/  | /'
    screenshot build/demo/option-report.png
    ui click "MCU Option" 1
    ui gone "MCU Option" 5000
else
    ui msgbox-close 1 2000 | sed 's/^/  ! /'
    status=1
fi
echo "Frames exchanged with the emulated writer: $(serial_log 1 | grep -cE ' (RX|TX) ')"

if [ -n "$visible" ]; then
    echo "The window stays open; close it to go on to the console run."
    while kill -0 "$PYRO_PID" 2>/dev/null; do sleep 1; done
else
    stop_pyrograph
fi

# Two writers, each with a handler that puts a new blank chip in its socket.
serial_stop_all
serial_setup 1 2
for n in 1 2; do serial_start_emulator $n --do "chip pid=A6" --do "swap on"; done
# The sample whose serial-number words are blank, so the run can number it.
cp samples/ZK30P11C-4-numbered.otp "$SCEN/"
args=(run "$(winpath "$SCEN/ZK30P11C-4-numbered.otp")" --count 6 --ports 1,2 --no-wait --serial)
echo "A gang run from the console, two writers, numbering on:"
echo "  > pyrocmd ${args[*]}"
"$WINE" "$SCEN/pyrocmd.exe" "${args[@]}" </dev/null 2>&1 | tr -d '\r' | sed 's/^/  /'
gang=${PIPESTATUS[0]}
echo "  (exit status $gang)"
[ "$gang" = 0 ] || status=1
exit $status
