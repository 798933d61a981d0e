# Sourced by the print tests after e2e-lib.sh: a printer of our own that Wine's
# PostScript driver prints to a file, and the fonts the sheet asks for.
# printer_env_start OUT.PS   installs it once per prefix and points LPT1: at OUT.PS.

PRINTER_NAME="Sheet Test Printer"
# The test tools and the stand-in library live beside the programs' bin folder.
PRINT_TESTBIN="$PYRO_WINBIN/../testbin"

printer_env_start() {
    local out=$1
    if [ ! -f "$WINEPREFIX/.pyro-printer" ]; then
        local ppd="$WINEPREFIX/drive_c/test-printer.ppd"
        cp "$PYRO_ROOT/tests/wine/test-printer.ppd" "$ppd"
        # The driver for each side that prints: the x64 one always, the x86 one
        # from the x86 build's own program when that build is under test.
        local adder adders=("$PYRO_ROOT/build/win-x86_64/testbin/add_printer.exe")
        [ "$PYRO_ARCH" = x86_64 ] || adders+=("$PRINT_TESTBIN/add_printer.exe")
        for adder in "${adders[@]}"; do
            [ -f "$adder" ] || continue
            wine_run "$adder" "$PRINTER_NAME" 'C:\test-printer.ppd' >/dev/null ||
                { echo "printer install failed ($adder)" >&2; return 1; }
        done
        # The sheet's fonts are missing under Wine; stand-ins of the same kind
        # (Wine's PostScript driver fails on OpenType outlines, so TrueType ones).
        wine_reg 'HKCU\Software\Wine\Fonts\Replacements' 'Courier New' 'DejaVu Sans Mono'
        wine_reg 'HKCU\Software\Wine\Fonts\Replacements' 'Times New Roman' 'DejaVu Serif'
        # A crash must end the program, not leave a debugger waiting.
        "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /f >/dev/null 2>&1
        touch "$WINEPREFIX/.pyro-printer"
    fi
    wine_reg 'HKCU\Software\Wine\Printing\Spooler' 'LPT1:' "$out"
}

# The sheet's text copy as the stand-in library's short report makes it: the
# title line, then the report for a file and its third checksum label.
SEP=$(printf '%083d' 0 | tr 0 -)
TITLE=$'\t\t\tOption Approval Sheet'
fake_report_lines() {
    printf '%s\n' "Product Name : ____________" "MCU     Name : ZK30P11C-4" "File    Name : $1" \
        "$SEP" "File      Checksum : [ 1A2B ]" "Program Code Checksum : [ 0C3D ]" \
        "$2 Code Checksum : [ 0D4E ] (Program code checksum + Option code checksum)" \
        "$SEP" "Watchdog Timer                Enable" "Oscillator                    Internal RC 4MHz" \
        "$SEP"
}

# Lines on stdin -> the file named, each ended by CR LF.
crlf() { sed 's/$/\r/' >"$1"; }

# The printed page as PNG (first page only) and its text, from the PostScript file.
ps_to_png() {  # ps_to_png OUT.PS PNG-BASE [DPI]
    ps2pdf "$1" "${1%.ps}.pdf" && pdftoppm -png -r "${3:-60}" -f 1 -l 1 -singlefile "${1%.ps}.pdf" "$2"
}
ps_pages() { pdfinfo "${1%.ps}.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}'; }
ps_text() { pdftotext -layout "${1%.ps}.pdf" - 2>/dev/null; }

# The lines of a text copy that the printed page (after ps_to_png) lacks, runs of
# white space made one blank on both sides; prints nothing when all are there.
page_lacks() {  # page_lacks OUT.PS COPY
    local page line
    page=$(ps_text "$1" | sed 's/[[:space:]]\+/ /g; s/^ //; s/ $//')
    while IFS= read -r line; do
        line=$(sed 's/[[:space:]]\+/ /g; s/^ //; s/ $//' <<<"$line")
        [ -z "$line" ] || grep -qxF -- "$line" <<<"$page" || printf '%s\n' "$line"
    done <"$2"
}

# Waits until the printer's output file is complete (the driver's last line).
ps_done() {  # ps_done OUT.PS [SECONDS]
    local i
    for i in $(seq 1 $((${2:-10} * 10))); do
        tail -c 64 "$1" 2>/dev/null | grep -q '%%EOF' && return 0
        sleep 0.1
    done
    return 1
}

# A Simplified Chinese locale of our own (the machine may have none generated),
# for the string-table test: use as  LOCPATH=$(zh_locale) LANG=zh_CN.UTF-8 ...
zh_locale() {
    local dir="$PYRO_ROOT/build/locale"
    if [ ! -d "$dir/zh_CN.UTF-8" ]; then
        mkdir -p "$dir"
        localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" >/dev/null 2>&1
    fi
    printf '%s' "$dir"
}
