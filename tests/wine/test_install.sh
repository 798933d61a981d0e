#!/usr/bin/env bash
# The MSI of the build under test (x64 or x86) in the test prefix: a per-user
# install with its shortcut and its entry in the installed programs, the installed
# program against the writer on COM1, an upgrade that keeps a changed settings
# file, and uninstalls that remove everything but a settings file the user
# changed. The .otp file type: an image opened through the shell starts the
# installed program on it, an association another program held before is left
# alone, uninstalling takes it away, and the zip touches nothing.
. "$(dirname "$0")/e2e-lib.sh"

BUILD="$PYRO_ROOT/build/win-$PYRO_ARCH"
msi="$BUILD/Pyrograph-$(tr -d ' \r\n' <"$PYRO_ROOT/VERSION")-$PYRO_MSIARCH.msi"
zip=${msi%.msi}.zip
if [ ! -f "$msi" ] || ! command -v wixl >/dev/null; then
    check "the $PYRO_MSIARCH MSI is built" yes no
    finish
    exit
fi

# A package writes the registry view of its own architecture: an x86 one the
# 32-bit view, where Wine keeps its file types too (Windows shares those between
# the views; Wine does not), so the x86 run reads that view and opens a file
# through the 32-bit shell.
if [ "$PYRO_ARCH" = i686 ]; then
    view=/reg:32
    shell='C:\windows\syswow64\start.exe'
    echo "note: x86: file types are read in the 32-bit registry view and opened by the 32-bit shell"
else
    view=/reg:64
    shell=start
fi

# Every Pyrograph the prefix knows, as "product-code display-version" lines. Wine keeps
# a per-user product's entry under HKLM, Windows under HKCU: both are read.
installed_products() {
    local root
    for root in HKCU HKLM; do
        "$WINE" reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s $view \
            2>/dev/null </dev/null | tr -d '\r' | awk '
            /^HKEY/ { key = $0; sub(/.*\\/, "", key); name = ""; ver = "" }
            $1 == "DisplayName" { name = substr($0, index($0, "REG_SZ") + 10) }
            $1 == "DisplayVersion" { ver = $3 }
            name == "Pyrograph" && ver != "" { print key, ver; name = "" }'
    done
}

msiexec() { "$WINE" msiexec "$@" /qn >/dev/null 2>&1 </dev/null; }

# A run before this one may have left a product behind.
for code in $(installed_products | cut -d' ' -f1); do msiexec /x "$code"; done

unixpath() { "$WINE" winepath -u "$1" 2>/dev/null </dev/null | tr -d '\r'; }
appdata=$(unixpath "$(wine_run cmd /c 'echo %APPDATA%')")
DEST=$(unixpath "$(wine_run cmd /c 'echo %LOCALAPPDATA%')")/Programs/Pyrograph
LINK="$appdata/Microsoft/Windows/Start Menu/Programs/Pyrograph.lnk"
rm -rf "$DEST" "$LINK"

# The program that opens .otp files and the command of our file type, as the shell
# sees them (empty when none).
otp_handler() { reg_default 'HKCR\.otp'; }
otp_command() { reg_default 'HKCR\Pyrograph.OtpImage\shell\open\command'; }
reg_default() {
    "$WINE" reg query "$1" /ve $view 2>/dev/null </dev/null | tr -d '\r' |
        sed -n 's/^ *(Default) *REG_SZ *//p'
}
reg_clear_otp() {
    local key
    for key in 'HKCU\Software\Classes\.otp' 'HKLM\Software\Classes\.otp' \
        'HKCU\Software\Classes\Pyrograph.OtpImage' 'HKLM\Software\Classes\Pyrograph.OtpImage'; do
        for v in /reg:32 /reg:64; do
            "$WINE" reg delete "$key" /f $v >/dev/null 2>&1 </dev/null || true
        done
    done
}
reg_clear_otp

# The zip's program writes nothing to the registry, whatever it does.
zipdir="$E2E_DIR/install/zip"
rm -rf "$zipdir"
mkdir -p "$zipdir"
(cd "$zipdir" && cmake -E tar xf "$zip")
wine_start "$(ls -d "$zipdir"/*/)Pyrograph.exe"
PYRO_PID=$WINE_PID
ui wait Pyrograph 20000 >/dev/null
dismiss_boxes >/dev/null
stop_pyrograph
check "the program from the zip leaves the file types alone" "|" "$(otp_handler)|$(otp_command)"

version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
check_true "install exits 0" msiexec /i "$(winpath "$msi")"
shipped=$(cmake -E tar tf "$zip" | sed -n 's|^[^/]*/\(..*\)|\1|p' | sort | paste -sd' ')
check "the program folder holds what the zip holds" "$shipped" \
    "$(ls "$DEST" 2>/dev/null | sort | paste -sd' ')"
missing=$(for f in Pyrograph.exe Ravelin32.dll Tessel32.exe Plinth32.dll ZK40P22A.DLL \
    ZK20P08B.CFG ZK30P11C-4.CFG ZK40P22A.CFG Larkspur.ini; do [ -f "$DEST/$f" ] || echo "$f"; done)
check "the programs, libraries, plug-in, configurations and settings are installed" "" "$missing"
check "no test program is installed" "" "$(ls "$DEST" | grep -iE 'probe|uidriver' || true)"
check "the settings file is the sample" "" "$(cmp "$PYRO_ROOT/samples/Larkspur.ini" "$DEST/Larkspur.ini" 2>&1)"
check "a Start-menu shortcut leads to the installed program" 1 \
    "$(strings -a "$LINK" 2>/dev/null | grep -ciE '^C:.*\\Programs\\Pyrograph\\Pyrograph\.exe$' || true)"
check "the installed programs list Pyrograph with its version" "1 $version" \
    "$(installed_products | wc -l) $(installed_products | cut -d' ' -f2)"

check "the install makes Pyrograph open .otp files" Pyrograph.OtpImage "$(otp_handler)"
check "the file type starts the installed program on the quoted path" \
    "\"$(wine_run winepath -w "$DEST")\\Pyrograph.exe\" \"%1\"" "$(otp_command)"
check "the file type shows the program's icon" "$(wine_run winepath -w "$DEST")\\Pyrograph.exe,0" \
    "$(reg_default 'HKCR\Pyrograph.OtpImage\DefaultIcon')"
check "sealed jobs open in the installed program the same way" \
    "Pyrograph.Job|\"$(wine_run winepath -w "$DEST")\\Pyrograph.exe\" \"%1\"" \
    "$(reg_default 'HKCR\.pgjob')|$(reg_default 'HKCR\Pyrograph.Job\shell\open\command')"

# The installed program finds its settings beside itself and the writer on COM1, and
# its option library finds the chip's configuration. It is started as a double-click
# starts it: the shell opens an image in a folder with blanks in its name.
serial_setup 1
trap "serial_stop_all; serial_park" EXIT
serial_start_emulator 1
jobs="$E2E_DIR/install/my jobs"
mkdir -p "$jobs"
cp "$PYRO_ROOT/samples/ZK30P11C-4.otp" "$jobs/first chip.otp"
"$WINE" "$shell" "$(winpath "$jobs/first chip.otp")" >/dev/null 2>&1 </dev/null
if ui wait Pyrograph 20000 >/dev/null; then
    check "the shell opens the image in the installed program" "$(winpath "$jobs/first chip.otp")" \
        "$(ui text Pyrograph 1008)"
    check_soon "the installed program downloads to the writer on COM1" "Download OK!" \
        "ui text Pyrograph 1010" 60
    check "it is connected on COM1" "Connected(COM1)" "$(ui text Pyrograph 1001)"
    check "its MCU comes from the installed settings file" ZK30P11C-4 "$(ui text Pyrograph 1035)"
    ui command Pyrograph 32771 >/dev/null
    if ui wait "MCU Option" 10000 >/dev/null; then
        check "the option report names the chip" yes \
            "$(ui text "MCU Option" 1023 | grep -q ZK30P11C-4 && echo yes)"
        ui click "MCU Option" 1 >/dev/null
        ui gone "MCU Option" 5000 >/dev/null
    else
        check "the option report opens" "" "$(ui msgbox-close 1 2000)"
    fi
    # Started by the shell, so there is no process of ours to wait for: the window goes.
    ui press Pyrograph 2 >/dev/null
    ui gone Pyrograph 10000 >/dev/null
else
    check "the shell starts the installed program on an .otp file" yes no
fi
serial_stop_all

# make_msi VERSION OUT: the same package as the build's, for another version.
make_msi() {
    (cd "$BUILD" && sh "$PYRO_ROOT/packaging/make-msi.sh" packaging/pyrograph.wxs "$PYRO_MSIARCH" "$1" "$2") \
        >/dev/null 2>&1
}

# The user changes the settings; a rebuilt package of the same version and then a
# later version install over them and keep them.
printf '[Install]\r\nkept=1\r\n' >>"$DEST/Larkspur.ini"
rebuilt="$E2E_DIR/install/Pyrograph-rebuilt-$PYRO_MSIARCH.msi"
make_msi "$version" "$rebuilt"
check_true "a rebuilt package of the same version installs over the first" \
    msiexec /i "$(winpath "$rebuilt")"
check "it replaces the entry in the installed programs" "1 $version" \
    "$(installed_products | wc -l) $(installed_products | cut -d' ' -f2)"
check "it keeps the changed settings file" 1 "$(grep -c '^kept=1' "$DEST/Larkspur.ini")"
IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))"
later="$E2E_DIR/install/Pyrograph-next-$PYRO_MSIARCH.msi"
make_msi "$next" "$later"
check_true "the later version installs over the first" msiexec /i "$(winpath "$later")"
check "the upgrade keeps the changed settings file" 1 "$(grep -c '^kept=1' "$DEST/Larkspur.ini")"
check "the upgrade replaces the entry in the installed programs" "1 $next" \
    "$(installed_products | wc -l) $(installed_products | cut -d' ' -f2)"
check "the program is still there after the upgrade" yes "$([ -f "$DEST/Pyrograph.exe" ] && echo yes)"
msiexec /i "$(winpath "$msi")" && outcome=installed || outcome=refused
check "the older package refuses to install over the later one" "refused 1 $next" \
    "$outcome $(installed_products | wc -l) $(installed_products | cut -d' ' -f2)"

check_true "uninstall exits 0" msiexec /x "$(winpath "$later")"
check "uninstall leaves only the changed settings file" Larkspur.ini "$(ls "$DEST" 2>/dev/null)"
check "uninstall removes the shortcut" no "$([ -e "$LINK" ] && echo yes || echo no)"
check "uninstall removes the entry in the installed programs" 0 "$(installed_products | wc -l)"
check "uninstall takes the .otp file type away" "|" "$(otp_handler)|$(otp_command)"
check "and the job file type" "" "$(reg_default 'HKCR\.pgjob')"

# Unchanged settings are the package's own: nothing stays behind.
rm -rf "$DEST"
msiexec /i "$(winpath "$msi")"
check_true "a fresh install uninstalls" msiexec /x "$(winpath "$msi")"
check "uninstalling unchanged settings removes the program folder" no \
    "$([ -e "$DEST" ] && echo yes || echo no)"

# Another program opened .otp files before the install: it keeps them, and keeps
# them after the uninstall; Pyrograph's file type comes and goes.
# On Windows both registry views share the file types; Wine keeps one for each,
# and searches an x86 package's in the other, so the other program's is in both.
for v in /reg:32 /reg:64; do
    "$WINE" reg add 'HKCR\.otp' /ve /d Other.Image /f $v >/dev/null 2>&1 </dev/null
done
msiexec /i "$(winpath "$msi")"
check "the install leaves another program's .otp files alone" Other.Image "$(otp_handler)"
check "and still brings its own file type" 1 "$(otp_command | grep -c 'Pyrograph\.exe" "%1"$')"
msiexec /x "$(winpath "$msi")"
check "the uninstall leaves them alone too" "Other.Image|" "$(otp_handler)|$(otp_command)"
reg_clear_otp

finish
