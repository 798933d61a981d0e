#!/usr/bin/env bash
# The print program end to end: command line, file dialog, extension test,
# printer choice, the printed page (PostScript to PNG and text) and the .PRN
# copy byte for byte. Runs against the test double of the option library, and
# against the real library when it is built.
. "$(dirname "$0")/e2e-lib.sh"
. "$(dirname "$0")/printer-env.sh"

JOB="$WINEPREFIX/drive_c/job"
SIGNATURE=(
    "The Above Option Table Is                    Prepared By : ( MARROWIND )"
    "Confirmed By : ( Customer )" "" "" ""
    "------------------------------               ------------------------------"
    "( Name , Date & Company Chop )               ( Name & Date )")

# print_scenario NAME: fresh folder with Tessel32.exe beside the test double,
# an empty C:\job, and the printer writing to $OUT.
print_scenario() {
    scenario "$1"
    rm -f "$SCEN"/[Rr]avelin32.dll
    cp "$PRINT_TESTBIN/fake_ravelin_testdouble.dll" "$SCEN/Ravelin32.dll"
    rm -rf "$JOB"
    mkdir -p "$JOB"
    OUT="$SCEN/out.ps"
    printer_env_start "$OUT"
}

# start_tessel [ARGS [PROGRAM]]: started as the main program starts it, with the
# command line passed verbatim.
start_tessel() {
    local line
    line="$(winpath "${2:-$SCEN/Tessel32.exe}")${1:+ $1}"
    wine_start "$PRINT_TESTBIN/run_cmdline.exe" "$line"
    TESSEL_PID=$WINE_PID
}

# Presses OK (1) or Cancel (2) in the print-setup dialog, then waits for the end.
answer_print_setup() {
    ui wait "Print Setup" 8000 >/dev/null || { echo "no print-setup dialog" >&2; return 1; }
    ui click "Print Setup" "$1" >/dev/null
    wait_pid "$TESSEL_PID" 15
}

same_bytes() { cmp -s "$1" "$2"; }

# --- .otp image from the command line, as the main program starts it -----------------
print_scenario otp-cmdline
printf 'image' >"$JOB/a.otp"
start_tessel '"C:\job\a.otp" ZK30P11C-4'
check_true "otp: print setup OK ends the program" answer_print_setup 1
check "otp: the .otp export gets path and body" 'otp|C:\job\a.otp|ZK30P11C-4' \
    "$(tr -d '\r' <"$SCEN/calls.log")"
{ echo "$TITLE"; fake_report_lines 'C:\job\a.otp' 'OTP '; } | crlf "$SCEN/want.PRN"
check_true "otp: C:\\job\\a.PRN holds title and report, no signature" \
    same_bytes "$SCEN/want.PRN" "$JOB/a.PRN"
check_true "otp: one page printed" test -s "$OUT"
ps_to_png "$OUT" "$SCEN/page"
check "otp: one page" 1 "$(ps_pages "$OUT")"
page=$(ps_text "$OUT")
check "otp: title on the page" 1 "$(grep -c 'Option Approval Sheet' <<<"$page")"
check "otp: bare-LF line printed whole" 1 "$(grep -c '^ *Program Code Checksum : \[ 0C3D \]$' <<<"$page")"
check "otp: no signature block" 0 "$(grep -c 'Confirmed By' <<<"$page")"

# --- upper-case extension -------------------------------------------------------------
print_scenario otp-upper
printf 'image' >"$JOB/B.OTP"
start_tessel '"C:\job\B.OTP" ZK20P08B'
check_true "OTP upper case: printed" answer_print_setup 1
check "OTP upper case: the .otp export is used" 'otp|C:\job\B.OTP|ZK20P08B' \
    "$(tr -d '\r' <"$SCEN/calls.log")"
check_true "OTP upper case: B.PRN written" test -s "$JOB/B.PRN"

# --- a path outside the ANSI code page ------------------------------------------------
# The command line is read in UTF-16: the library gets the short name, which it
# can open, and the copy keeps the image's own name.
print_scenario cyrillic
printf 'image' >"$JOB/образ.otp"
start_tessel '"C:\job\образ.otp" ZK30P11C-4'
check_true "Cyrillic: print setup OK ends the program" answer_print_setup 1
logged=$(tr -d '\r' <"$SCEN/calls.log")
short=$(cut -d'|' -f2 <<<"$logged")
check "Cyrillic: the .otp export gets an ASCII path and the body" "otp|ZK30P11C-4|" \
    "$(cut -d'|' -f1,3 <<<"$logged")|$(tr -d '\040-\176' <<<"$short")$(tr -cd '?' <<<"$short")"
check_true "Cyrillic: that path names the image" \
    cmp -s "$JOB/образ.otp" "$("$WINE" winepath -u "$short" 2>/dev/null)"
{ echo "$TITLE"; fake_report_lines "$short" 'OTP '; } | crlf "$SCEN/want.PRN"
check_true "Cyrillic: C:\\job\\образ.PRN holds title and report" \
    same_bytes "$SCEN/want.PRN" "$JOB/образ.PRN"
check "Cyrillic: no copy under another name" "образ.PRN" "$(cd "$JOB" && ls -- *.[Pp][Rr][Nn])"
ps_done "$OUT"
ps_to_png "$OUT" "$SCEN/page"
check "Cyrillic: the page holds the report" "" "$(page_lacks "$OUT" "$SCEN/want.PRN")"

# The path limit counts characters: 255 Cyrillic ones (twice as many bytes) are
# taken, 256 refused like 256 ASCII ones.
print_scenario cyrillic-long
dir=$(printf 'Я%.0s' $(seq 1 120))
name=$(printf 'ж%.0s' $(seq 1 123))
mkdir -p "$JOB/$dir"
printf 'image' >"$JOB/$dir/$name.otp"
start_tessel "\"C:\\job\\$dir\\$name.otp\" ZK30P11C-4"
check_true "255 Cyrillic characters: printed" answer_print_setup 1
check_true "255 Cyrillic characters: the copy is written" test -s "$JOB/$dir/$name.PRN"
start_tessel "\"C:\\job\\$dir\\ж$name.otp\" ZK30P11C-4"
check "256 Cyrillic characters give 61207" $'Tessel Windows Application\nNot a COD or OTP file' \
    "$(ui msgbox 20000)"
ui msgbox-close 1 >/dev/null
check_true "256 Cyrillic characters: program ends" wait_pid "$TESSEL_PID" 10

# A program folder outside ASCII, unquoted as the main program writes it (no
# blank): the program's own name is cut off whole.
print_scenario program-folder
mkdir -p "$SCEN/Données"
cp "$SCEN/Tessel32.exe" "$SCEN/Ravelin32.dll" "$SCEN/Données/"
printf 'image' >"$JOB/a.otp"
start_tessel '"C:\job\a.otp" ZK30P11C-4' "$SCEN/Données/Tessel32.exe"
check_true "program in Données: printed" answer_print_setup 1
check "program in Données: path and body taken" 'otp|C:\job\a.otp|ZK30P11C-4' \
    "$(tr -d '\r' <"$SCEN/Données/calls.log")"
check_true "program in Données: a.PRN written" test -s "$JOB/a.PRN"

# --- .cod image chosen in the file dialog ---------------------------------------------
print_scenario cod-dialog
printf 'image' >"$JOB/sheet.Cod"
start_tessel
ui wait "Select Print COD File" 8000 >/dev/null
check "cod: the file dialog asks for a .cod file" 1 "$(ui count 'Select Print COD File')"
ui settext "Select Print COD File" 0x47c 'C:\job\sheet.Cod' >/dev/null
ui click "Select Print COD File" 1 >/dev/null
check_true "cod: print setup OK ends the program" answer_print_setup 1
check "cod: the .cod export gets the chosen path" 'cod|C:\job\sheet.Cod|(null)' \
    "$(tr -d '\r' <"$SCEN/calls.log")"
{ echo "$TITLE"; fake_report_lines 'C:\job\sheet.Cod' MASK; printf '%s\n' "${SIGNATURE[@]}"; } |
    crlf "$SCEN/want.PRN"
check_true "cod: sheet.PRN holds the signature block with its blank lines" \
    same_bytes "$SCEN/want.PRN" "$JOB/sheet.PRN"
ps_to_png "$OUT" "$SCEN/page" 100
page=$(ps_text "$OUT")
check "cod: signature lines on the page" 4 \
    "$(grep -c -e 'Prepared By : ( MARROWIND )' -e 'Confirmed By : ( Customer )' \
        -e '^ *------------------------------ *------------------------------$' \
        -e '( Name & Date )' <<<"$page")"

# --- a report longer than the page ----------------------------------------------------
print_scenario long
printf 'image' >"$JOB/long.otp"
start_tessel '"C:\job\long.otp" ZK30P11C-4'
check_true "long: printed" answer_print_setup 1
{ echo "$TITLE"; for i in $(seq -f '%03g' 1 120); do echo "Report line $i of 120"; done; } |
    crlf "$SCEN/want.PRN"
check_true "long: the copy holds all 120 lines" same_bytes "$SCEN/want.PRN" "$JOB/long.PRN"
ps_to_png "$OUT" "$SCEN/page"
check "long: still one page" 1 "$(ps_pages "$OUT")"
page=$(ps_text "$OUT")
last=$(grep -o 'Report line [0-9]*' <<<"$page" | tail -1 | grep -o '[0-9]*$')
check_true "long: the page is cut (last line $last of 120)" test "$((10#${last:-0}))" -gt 30 -a \
    "$((10#${last:-0}))" -lt 120
check "long: printed lines run without a gap" "$((10#${last:-0}))" \
    "$(grep -c 'Report line [0-9]* of 120' <<<"$page")"

# --- refusals -------------------------------------------------------------------------
print_scenario cancel
printf 'image' >"$JOB/a.otp"
start_tessel '"C:\job\a.otp" ZK30P11C-4'
check_true "cancel: print setup cancel ends the program" answer_print_setup 2
check_true "cancel: no .PRN left behind" test ! -e "$JOB/a.PRN"
check_true "cancel: nothing printed" test ! -e "$OUT"

expect_box() {  # expect_box NAME CMDLINE TEXT: one message box, then the program ends
    start_tessel "$2"
    check "$1" "$3" "$(ui msgbox 20000)"
    ui msgbox-close 1 >/dev/null
    check_true "$1: program ends" wait_pid "$TESSEL_PID" 10
}

print_scenario bad-names
NOT_COD=$'Tessel Windows Application\nNot a COD or OTP file'
expect_box "a .bin path gives 61207" '"C:\job\a.bin" ZK30P11C-4' "$NOT_COD"
expect_box "unquoted command line gives 61207" 'C:\job\a.otp ZK30P11C-4' "$NOT_COD"
expect_box "missing closing quote gives 61207" '"C:\job\a.otp ZK30P11C-4' "$NOT_COD"
expect_box "20-character body name gives 61207" '"C:\job\a.otp" ZK30P11C-4-ABCDEFGHI' "$NOT_COD"
expect_box "256-character path gives 61207" "\"C:\\job\\$(printf '%0245d' 0).otp\" ZK30" "$NOT_COD"
check_true "refused command lines call no export" test ! -e "$SCEN/calls.log"
check_true "refused command lines print nothing" test ! -e "$OUT"

print_scenario null-report
printf 'image' >"$JOB/null.otp"
start_tessel '"C:\job\null.otp" ZK30P11C-4'
check "null report: only the library's own message" $'Option\nTest double: no report for this file' \
    "$(ui msgbox 20000)"
ui msgbox-close 1 >/dev/null
check_true "null report: program ends without print setup" wait_pid "$TESSEL_PID" 10
check_true "null report: no .PRN" test ! -e "$JOB/null.PRN"

print_scenario copy-error
printf 'image' >"$JOB/d.otp"
mkdir "$JOB/d.PRN"  # a folder where the copy should go
start_tessel '"C:\job\d.otp" ZK30P11C-4'
ui wait "Print Setup" 8000 >/dev/null
ui click "Print Setup" 1 >/dev/null
check "copy not creatable: 61208 with its path" \
    $'Tessel Windows Application\nThe file \'C:\\job\\d.PRN\' was created error!' "$(ui msgbox 20000)"
ui msgbox-close 1 >/dev/null
check_true "copy not creatable: program ends" wait_pid "$TESSEL_PID" 15
check "copy not creatable: the sheet is still printed" 1 "$(ps_to_png "$OUT" "$SCEN/page" && ps_pages "$OUT")"

print_scenario no-library
rm -f "$SCEN"/[Rr]avelin32.dll
expect_box "missing library gives 61204" '"C:\job\a.otp" ZK30P11C-4' \
    $'Tessel Windows Application\nUnable to load Ravelin32.DLL!'

print_scenario no-exports
cp "$PRINT_TESTBIN/run_cmdline.exe" "$SCEN/Ravelin32.dll"  # loads, exports nothing
expect_box "library without the exports gives 61205" '"C:\job\a.otp" ZK30P11C-4' \
    $'Tessel Windows Application\nUnable to retrieve the function address!'

print_scenario chinese
LOCPATH=$(zh_locale) LANG=zh_CN.UTF-8 expect_box "Simplified Chinese system: 61207 in Chinese" \
    '"C:\job\a.bin" ZK30P11C-4' $'Tessel Windows Application\n选择的不是COD或OTP文件'


# --- against the real option library, when this build has it --------------------------
probe=$(ls "$PYRO_WINBIN/optdump_probe.exe" "$PRINT_TESTBIN/optdump_probe.exe" 2>/dev/null | head -1)
if [ -n "$probe" ] && ls "$PYRO_WINBIN"/*.CFG >/dev/null 2>&1; then
    scenario real-library
    cp "$PYRO_WINBIN"/*.CFG "$SCEN"/
    rm -rf "$JOB"
    mkdir -p "$JOB"
    OUT="$SCEN/out.ps"
    printer_env_start "$OUT"
    timeout 60 "$WINE" "$probe" write-samples 'C:\job' >/dev/null 2>&1 </dev/null
    # The library's own report, as its probe prints it, is what the copy must hold.
    real_report() { timeout 60 "$WINE" "$probe" "$@" 2>/dev/null </dev/null | tr -d '\r' | tail -n +2; }

    start_tessel '"C:\job\sample.otp" ZK30P11C-4'
    check_true "real otp: printed" answer_print_setup 1
    { echo "$TITLE"; real_report otp 'C:\job\sample.otp' ZK30P11C-4; } | crlf "$SCEN/want-otp.PRN"
    check_true "real otp: the copy is the library's report under the title" \
        same_bytes "$SCEN/want-otp.PRN" "$JOB/sample.PRN"
    ps_to_png "$OUT" "$SCEN/page-otp"
    check "real otp: report on the page" 1 "$(ps_text "$OUT" | grep -cE 'OTP +Code Checksum')"

    rm -f "$OUT"
    start_tessel '"C:\job\sample.cod" ZK30P11C-4'
    check_true "real cod: printed" answer_print_setup 1
    { echo "$TITLE"; real_report cod 'C:\job\sample.cod'; printf '%s\n' "${SIGNATURE[@]}"; } |
        crlf "$SCEN/want-cod.PRN"
    check_true "real cod: the copy is the library's report and the signature block" \
        same_bytes "$SCEN/want-cod.PRN" "$JOB/sample.PRN"
    ps_to_png "$OUT" "$SCEN/page-cod" 100
    check "real cod: signature block on the page" 1 "$(ps_text "$OUT" | grep -c 'Confirmed By')"
else
    echo "note: no option library with sample configurations in this build; real-library checks skipped"
fi

finish
