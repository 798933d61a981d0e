#!/usr/bin/env bash
# The programs at 100 %, 150 % and 200 % (the prefix's LogPixels at 96, 144 and 192).
# In each, after a download and an Auto pass: every text of the main window and of
# its dialogs fits its control, measured with the control's own font; the hex view
# shows whole rows, drawn larger as the DPI grows. The printed sheet is the same at
# 200 % as at 100 %. The screenshots stay in build/e2e/dpi-N/.
. "$(dirname "$0")/e2e-lib.sh"
. "$(dirname "$0")/printer-env.sh"

DPI_KEY='HKCU\Control Panel\Desktop'

# At 200 % the window outgrows the usual screen: an X server and a desktop of their
# own, wide enough for it, for this script alone.
xvfb_start 141 190 1600x1200
big_x=$XVFB_PID
wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 1600x1200
# The window's font is Courier New, which Wine lacks: the monospaced stand-in that
# the print tests use too, so that every run measures the same font.
wine_reg 'HKCU\Software\Wine\Fonts\Replacements' 'Courier New' 'DejaVu Sans Mono'

restore() {
    serial_stop_all
    "$WINE" reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1 </dev/null
    wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default 800x600
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
    kill "$big_x" 2>/dev/null
    wait "$big_x" 2>/dev/null
}
trap restore EXIT

serial_setup 1
serial_start_emulator 1
serial_control 1 "swap on"  # a blank chip for each Auto pass
mkdir -p "$WINEPREFIX/drive_c/jobs"
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$WINEPREFIX/drive_c/jobs/"

# fits NAME TITLE MIN: every visible text of the window fits and every control
# sits where its template and font put it; at least MIN texts were measured.
fits() {
    local out
    out=$(ui fit "$2")
    check "$1: every text fits its control" "" "$(grep -v -e '^fit ' -e '^font=' <<<"$out")"
    check "$1: texts were measured" yes \
        "$([ "$(sed -n 's/.* checked=\([0-9]*\).*/\1/p' <<<"$out")" -ge "$3" ] && echo yes)"
}

# shot FILE TITLE: the window alone.
shot() { import -window root -crop "$(ui rect "$2")" +repage "$1" 2>/dev/null; }

# dialog DPI TITLE MIN OPEN-ACTION ID CLOSE-ID: opens a dialog of the main window,
# measures it, keeps its picture and closes it.
dialog() {
    local dpi=$1 title=$2 min=$3 how=$4 id=$5 close=$6
    ui "$how" Pyrograph "$id" >/dev/null
    if ui wait "$title" 10000 >/dev/null; then
        fits "$dpi $title" "$title" "$min"
        shot "$SCEN/${title// /-}.png" "$title"
        ui click "$title" "$close" >/dev/null
        ui gone "$title" 5000 >/dev/null
    else
        check "$dpi: $title opens" "" "$(ui msgbox-close 1 2000)"
    fi
}

declare -A pitch=()
for dpi in 96 144 192; do
    wine_reg "$DPI_KEY" LogPixels "$dpi" REG_DWORD
    serial_apply_ports  # a fresh wineserver: the DPI is read as it starts
    scenario "dpi-$dpi" "$SAMPLE_INI"
    start_pyrograph 'C:\jobs\ZK30P11C-4.otp'
    ui wait Pyrograph 20000 >/dev/null
    check_soon "$dpi: the image downloads" "Download OK!" "ui text Pyrograph 1010" 60
    ui press Pyrograph 4 >/dev/null
    check_soon "$dpi: the Auto pass ends" "Blank Check/Programming/Verify OK!" \
        "ui text Pyrograph 1010" 60
    check "$dpi: the window is shown at $dpi DPI" "$dpi" "$(ui dpi Pyrograph)"
    fits "$dpi main window" Pyrograph 20
    rows=$(ui hexrows Pyrograph 1013)
    echo "       hex view at $dpi DPI: $rows"
    check "$dpi: the hex view shows whole rows" 1 "$(sed -n 's/.* whole=\([01]\)$/\1/p' <<<"$rows")"
    pitch[$dpi]=$(sed -n 's/.* pitch=\([0-9]*\) .*/\1/p' <<<"$rows")
    shot "$SCEN/window.png" Pyrograph
    dialog "$dpi" "About Pyrograph" 5 syscommand 16 1
    dialog "$dpi" "Auto Setup" 5 command 32773 2
    dialog "$dpi" "Set MCU" 3 command 32779 2
    dialog "$dpi" "Serial Number" 15 command 32776 2
    dialog "$dpi" "MCU Option" 2 command 32771 1
    stop_pyrograph
done
# Rows as tall as the DPI says: 1.5 and 2 times those at 96 DPI, give or take a pixel.
for dpi in 144 192; do
    check "the hex view's rows at $dpi DPI are $dpi/96 as tall as at 96 DPI" yes \
        "$(awk -v a="${pitch[96]:-0}" -v b="${pitch[$dpi]:-0}" -v r="$dpi" \
            'BEGIN { print (a > 0 && b * 96 >= (r * a) - 96 * 1.5 && b * 96 <= (r * a) + 96 * 1.5) ? "yes" : "no" }')"
done

# The sheet is laid out for the printer: word for word at the same place whatever
# the screen's DPI.
declare -A page=()
for dpi in 96 192; do
    wine_reg "$DPI_KEY" LogPixels "$dpi" REG_DWORD
    serial_apply_ports
    scenario "dpi-$dpi-print"
    rm -f "$SCEN"/[Rr]avelin32.dll
    cp "$PRINT_TESTBIN/fake_ravelin_testdouble.dll" "$SCEN/Ravelin32.dll"
    printer_env_start "$SCEN/out.ps"
    printf 'image' >"$WINEPREFIX/drive_c/jobs/sheet.otp"
    wine_start "$PRINT_TESTBIN/run_cmdline.exe" "$(winpath "$SCEN/Tessel32.exe") \"C:\\jobs\\sheet.otp\" ZK30P11C-4"
    tessel=$WINE_PID
    if ui wait "Print Setup" 15000 >/dev/null; then
        ui click "Print Setup" 1 >/dev/null
        wait_pid "$tessel" 15
        ps_done "$SCEN/out.ps"
        ps_to_png "$SCEN/out.ps" "$SCEN/sheet"
        page[$dpi]=$(pdftotext -bbox "$SCEN/out.pdf" - 2>/dev/null | grep '<word ')
    fi
    check "$dpi: the sheet prints" yes "$([ -n "${page[$dpi]}" ] && echo yes)"
done
check "the sheet at 192 DPI is the sheet at 96 DPI" "${page[96]}" "${page[192]}"

finish
