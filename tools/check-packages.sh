#!/usr/bin/env bash
# What the Windows packages of both builds carry: the zip and the MSI hold the same
# files, all the shipped ones and no test program; every program and library in them
# has its version resource and no debug sections (those are in debug/); the MSI
# installs per user into the user's programs folder and has its Start-menu shortcut;
# every program's manifest carries the version of its version resource, the Windows
# versions 7 to 11, DPI awareness, and common controls 6 where it shows windows.
. "$(dirname "$0")/../tests/wine/testlib.sh"
root="$(cd "$(dirname "$0")/.." && pwd)"
version=$(tr -d ' \r\n' <"$root/VERSION")
required="Larkspur.ini Plinth32.dll Pyrograph.exe pyrocmd.exe Ravelin32.dll Tessel32.exe ZK20P08B.CFG \
ZK30P11C-4.CFG ZK40P22A.CFG ZK40P22A.DLL ZK30P11C-4-numbered.otp"

# table MSI NAME: the rows of one MSI table, without its three header lines.
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }

# rc_of ARCH FILE: the file's resources as windres writes them out.
rc_of() { "$1-w64-mingw32-windres" -i "$2" -O rc 2>/dev/null; }

# manifest_of RC: the application manifest (type 24, id 1) in those resources, on
# one line.
manifest_of() {
    awk '/^1 24 / { inside = 1; next }
        inside && /^END/ { exit }
        inside && /^ *"/ { sub(/^ *"/, ""); sub(/"$/, ""); gsub(/""/, "\""); gsub(/\\n/, " ");
                           printf "%s", $0 }' <<<"$1"
}

# manifest_problems RC WINDOWS: what the manifest in RC lacks, one line each;
# WINDOWS is 1 for a program that shows windows. Nothing when it is sound.
WINDOWS_7_TO_11="35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"
manifest_problems() {
    local m resource own id
    m=$(manifest_of "$1")
    if [ -z "$m" ]; then
        echo "no manifest"
        return
    fi
    resource=$(sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\)$/\1.\2.\3.\4/p' <<<"$1")
    own=$(grep -o '<assemblyIdentity[^>]*>' <<<"$m" | head -1 | sed -n 's/.* version="\([^"]*\)".*/\1/p')
    [ "$own" = "$resource" ] || echo "manifest version ${own:-none}, version resource ${resource:-none}"
    for id in $WINDOWS_7_TO_11; do
        grep -qi "<supportedOS Id=\"{$id}\"" <<<"$m" || echo "no supportedOS $id"
    done
    grep -qE '<dpiAwareness[^>]*>[^<]*PerMonitorV2' <<<"$m" || echo "not per-monitor aware (V2)"
    grep -qiE '<dpiAware[^>]*> *true' <<<"$m" || echo "not DPI aware before Windows 10"
    if [ "$2" = 1 ]; then
        grep -qE 'name="Microsoft.Windows.Common-Controls" version="6\.' <<<"$m" ||
            echo "no common controls 6"
    fi
}

for arch in x86_64 i686; do
    case $arch in x86_64) msiarch=x64 ;; i686) msiarch=x86 ;; esac
    build="$root/build/win-$arch"
    name="Pyrograph-$version-$msiarch"
    msi="$build/$name.msi" zip="$build/$name.zip" dir="$build/package/$name"
    if [ ! -f "$zip" ] || [ ! -f "$msi" ]; then
        check "$arch: $name.zip and $name.msi exist" yes no
        continue
    fi

    in_zip=$(cmake -E tar tf "$zip" | sed -n "s|^$name/\(..*\)|\1|p" | sort | paste -sd' ')
    in_msi=$(table "$msi" File | cut -f3 | sort | paste -sd' ')
    check "$arch: the zip and the MSI hold the same files" "$in_zip" "$in_msi"
    missing=$(for f in $required; do [[ " $in_msi " == *" $f "* ]] || echo "$f"; done)
    check "$arch: every shipped file is in the MSI" "" "$missing"

    # A test program has no version resource, so this also keeps them out.
    for f in $(cd "$dir" && ls | grep -iE '\.(exe|dll)$'); do
        rc=$("$arch-w64-mingw32-windres" -i "$dir/$f" -O rc 2>/dev/null)
        fields=$(printf '%s\n' "$rc" | sed -n 's/^ *VALUE "\(ProductName\|ProductVersion\|OriginalFilename\)", "\(.*\)"$/\1=\2/p' |
            sort | paste -sd' ')
        check "$arch $f: version resource" \
            "OriginalFilename=$f ProductName=Pyrograph ProductVersion=$version" "$fields"
        if [[ "$f" == *.exe ]]; then
            windows=$("$arch-w64-mingw32-objdump" -p "$dir/$f" | grep -c 'Subsystem.*(Windows GUI)')
            check "$arch $f: manifest with the version, Windows 7-11 and DPI awareness" "" \
                "$(manifest_problems "$rc" "$windows")"
        fi
        check "$arch $f: has a file description" 1 \
            "$(printf '%s\n' "$rc" | grep -cE '^ *VALUE "FileDescription", ".+"$')"
        sections=$("$arch-w64-mingw32-objdump" -h "$dir/$f" | awk '{print $2}')
        check "$arch $f: no debug sections, a link to its debug file" "0 1" \
            "$(grep -c '^\.debug_' <<<"$sections") $(grep -c '^\.gnu_debuglink$' <<<"$sections")"
        check "$arch $f: its debug file has the debug information" 1 \
            "$("$arch-w64-mingw32-objdump" -h "$build/debug/$f.debug" 2>/dev/null | grep -c ' \.debug_info ')"
    done
    check "$arch: the About box shows the version" 1 \
        "$("$arch-w64-mingw32-windres" -i "$dir/Pyrograph.exe" -O rc 2>/dev/null |
            grep -c "CTEXT \"Version $version\"")"

    check "$arch: the MSI is for $msiarch" "$msiarch" \
        "$(msiinfo suminfo "$msi" | sed -n 's/^Template: \(Intel\|x64\);.*/\1/p' |
            sed 's/Intel/x86/')"
    check "$arch: the MSI installs per user" "" "$(table "$msi" Property | grep -E '^ALLUSERS' || true)"
    # Word count bit 8 of the summary: the package needs no elevation.
    words=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
    check "$arch: the MSI asks for no elevation" 8 "$((${words:-0} & 8))"
    check "$arch: into the user's programs folder" \
        "INSTALLDIR UserProgramsFolder Pyrograph|UserProgramsFolder LocalAppDataFolder Programs" \
        "$(table "$msi" Directory | grep -E '^(INSTALLDIR|UserProgramsFolder)	' | tr '\t' ' ' |
            paste -sd'|')"
    check "$arch: a Start-menu shortcut to Pyrograph.exe" \
        "Pyrograph ProgramMenuFolder [INSTALLDIR]Pyrograph.exe" \
        "$(table "$msi" Shortcut | awk -F'\t' '{print $3, $2, $5}')"
done

# The manifest check itself: a program whose manifest has another version, no V2
# awareness and one Windows version less is told apart.
exe="$root/build/win-x86_64/bin/Pyrograph.exe"
if [ -f "$exe" ]; then
    bad=$(mktemp)
    numeric=$(sed -n 's/^ *FILEVERSION *\([0-9, ]*\)$/\1/p' <<<"$(rc_of x86_64 "$exe")" | tr -d ' ' | tr , .)
    wrong="${numeric%.*}"
    wrong="${wrong%.*}.$(( (${wrong##*.} + 1) % 10 )).0"
    perl -0777 -pe "s/(name=\"Pyrograph\" version=\")\Q$numeric\E\"/\${1}$wrong\"/;
        s/PerMonitorV2/PerMonitorX2/; s/8e0f7a12-bfb3/8e0f7a12-bfb4/" "$exe" >"$bad"
    check "a manifest that disagrees is caught" \
        "manifest version $wrong, version resource $numeric|no supportedOS 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a|not per-monitor aware (V2)" \
        "$(manifest_problems "$(rc_of x86_64 "$bad")" 1 | paste -sd'|')"
    rm -f "$bad"
fi
finish
