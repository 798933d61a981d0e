#!/usr/bin/env bash
# "&Option..." and "&Print" of the main window: refusals without option words,
# the option report through the library, and the start of the print program.
. "$(dirname "$0")/e2e-lib.sh"
. "$(dirname "$0")/printer-env.sh"

ID_OPTION=32771
ID_PRINT=32777
IDC_OPTION_REPORT=1023

option_scenario() {  # option_scenario NAME: main program beside the stand-in library
    scenario "$1" "$SAMPLE_INI"
    rm -f "$SCEN"/[Rr]avelin32.dll
    cp "$PRINT_TESTBIN/fake_ravelin_testdouble.dll" "$SCEN/Ravelin32.dll"
}

# Opens the image and reports whether the buffer now holds it (the checksum
# label fills).
open_image() {
    start_pyrograph "$(winpath "$1")"
    ui wait Pyrograph >/dev/null
    local i
    for i in $(seq 1 30); do
        [ -n "$(ui text Pyrograph 1034)" ] && return 0
        sleep 0.1
    done
    return 1
}

# --- no option words ------------------------------------------------------------------
option_scenario empty
start_pyrograph
ui wait Pyrograph >/dev/null
ui msgbox-close 1 500 >/dev/null 2>&1
ui command Pyrograph $ID_OPTION >/dev/null
check "Option without option words" $'Pyrograph\nNo Options exist!' "$(ui msgbox 5000)"
ui msgbox-close 1 >/dev/null
ui command Pyrograph $ID_PRINT >/dev/null
check "Print without option words" $'Pyrograph\nHave no option!' "$(ui msgbox 5000)"
ui msgbox-close 1 >/dev/null
check_true "neither called the library" test ! -e "$SCEN/calls.log"
stop_pyrograph

# --- an image with option words -------------------------------------------------------
option_scenario image
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/a.otp"
if ! open_image "$SCEN/a.otp"; then
    echo "note: the window does not open images in this build; option report checks skipped"
    stop_pyrograph
    finish
    exit $?
fi
ui command Pyrograph $ID_OPTION >/dev/null
ui wait "MCU Option" 5000 >/dev/null
check "the report fills the MCU Option dialog" "MCU     Name : ZK30P11C-4" \
    "$(ui text 'MCU Option' $IDC_OPTION_REPORT | tr -d '\r' | sed -n 2p)"
check "the image file itself goes to the library with the body" \
    "otp|$(winpath "$SCEN/a.otp")|ZK30P11C-4" "$(tr -d '\r' <"$SCEN/calls.log")"
ui click "MCU Option" 1 >/dev/null
check_true "the dialog closes on OK" ui gone "MCU Option"

# Print: the print program starts on the image, prints, and writes the copy.
printer_env_start "$SCEN/out.ps"
ui command Pyrograph $ID_PRINT >/dev/null
print_setup_shown() { ui wait "Print Setup" 8000 >/dev/null; }
check_true "Print starts the print program" print_setup_shown
ui click "Print Setup" 1 >/dev/null
for i in $(seq 1 50); do [ -s "$SCEN/a.PRN" ] && break; sleep 0.1; done
check "the print program got path and body" "otp|$(winpath "$SCEN/a.otp")|ZK30P11C-4" \
    "$(tr -d '\r' <"$SCEN/calls.log" | tail -1)"
check_true "the sheet's text copy lies beside the image" test -s "$SCEN/a.PRN"
stop_pyrograph

# --- an image whose name the ANSI code page cannot spell --------------------------------
# The print program reads its command line in UTF-16: the library gets a name it
# can open, and the sheet's text copy keeps the image's own name.
option_scenario cyrillic
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/образ.otp"
open_image "$SCEN/образ.otp"
printer_env_start "$SCEN/out.ps"
ui command Pyrograph $ID_PRINT >/dev/null
check_true "Print starts the print program on a Cyrillic name" print_setup_shown
ui click "Print Setup" 1 >/dev/null
check_true "the sheet is printed" ps_done "$SCEN/out.ps" 15
logged=$(tr -d '\r' <"$SCEN/calls.log" 2>/dev/null | tail -1)
check "the library got an .otp path and the body" "otp|ZK30P11C-4" \
    "$(cut -d'|' -f1,3 <<<"$logged")"
shortpath=$(cut -d'|' -f2 <<<"$logged")
check "the path is spelt without lost characters" "" "$(tr -d '\040-\176' <<<"$shortpath" | tr -d '\n')$(tr -cd '?' <<<"$shortpath")"
check_true "the path names the image" cmp -s "$SCEN/образ.otp" "$("$WINE" winepath -u "$shortpath" 2>/dev/null)"
{ echo "$TITLE"; fake_report_lines "$shortpath" 'OTP '; } | crlf "$SCEN/want.txt"
check_true "образ.PRN beside the image holds the title and the report" \
    cmp -s "$SCEN/want.txt" "$SCEN/образ.PRN"
check "no copy under another name" "образ.PRN" "$(cd "$SCEN" && ls -- *.[Pp][Rr][Nn] 2>/dev/null)"
ps_to_png "$SCEN/out.ps" "$SCEN/page"
check "the printed page holds the report" "" "$(page_lacks "$SCEN/out.ps" "$SCEN/want.txt")"
stop_pyrograph

# --- option words left by a load that failed part-way, and no driver yet -----------------
option_scenario no-driver
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/broken.otp"
printf '\x65\x07\x00\x00\x90\x00\x00\x12\x34\x01' >>"$SCEN/broken.otp"  # bad record sum
start_pyrograph "$(winpath "$SCEN/broken.otp")"
ui wait Pyrograph >/dev/null
for i in $(seq 1 30); do ui text Pyrograph 1010 | grep -q 'checksum' && break; sleep 0.1; done
ui msgbox-close 1 300 >/dev/null 2>&1
ui command Pyrograph $ID_OPTION >/dev/null
check "no driver body: no temporary image is written, the user is told why" \
    "Pyrograph|The options cannot be shown: this buffer is not the image of a file, and no chip driver has been downloaded to describe it. Open the image file or download first." \
    "$(ui msgbox 5000 | paste -sd '|')"
ui msgbox-close 1 >/dev/null
check_true "no driver body: the library was not called" test ! -e "$SCEN/calls.log"
stop_pyrograph

# --- no library -----------------------------------------------------------------------
option_scenario no-library
rm -f "$SCEN"/[Rr]avelin32.dll
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$SCEN/a.otp"
open_image "$SCEN/a.otp"
ui command Pyrograph $ID_OPTION >/dev/null
box=$(ui msgbox 5000)
check "no library: message with the option listing" "Pyrograph|Failed to load Option DLL!|" \
    "$(sed -n '1,3p' <<<"$box" | tr -d '\r' | paste -sd '|')"
check_true "no library: listing of hex words follows" grep -qE '^([0-9A-F]{4} )+$' \
    <<<"$(sed -n 4p <<<"$box" | tr -d '\r')"
ui msgbox-close 1 >/dev/null
stop_pyrograph

finish
