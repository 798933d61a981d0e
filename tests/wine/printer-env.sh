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
        wine_run "$PRINT_TESTBIN/add_printer.exe" "$PRINTER_NAME" 'C:\test-printer.ppd' >/dev/null ||
            { echo "printer install failed" >&2; return 1; }
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

# The printed page as PNG (first page only) and its text, from the PostScript file.
ps_to_png() {  # ps_to_png OUT.PS PNG-BASE [DPI]
    ps2pdf "$1" "${1%.ps}.pdf" && pdftoppm -png -r "${3:-60}" -f 1 -l 1 -singlefile "${1%.ps}.pdf" "$2"
}
ps_pages() { pdfinfo "${1%.ps}.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}'; }
ps_text() { pdftotext -layout "${1%.ps}.pdf" - 2>/dev/null; }

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
