#!/usr/bin/env bash
# What the Windows packages of both builds carry: the zip and the MSI hold the same
# files, all the shipped ones and no test program; every program and library in them
# has its version resource and no debug sections (those are in debug/); the MSI
# installs per user into the user's programs folder and has its Start-menu shortcut.
. "$(dirname "$0")/../tests/wine/testlib.sh"
root="$(cd "$(dirname "$0")/.." && pwd)"
version=$(tr -d ' \r\n' <"$root/VERSION")
required="Larkspur.ini Plinth32.dll Pyrograph.exe Ravelin32.dll Tessel32.exe ZK20P08B.CFG \
ZK30P11C-4.CFG ZK40P22A.CFG ZK40P22A.DLL"

# table MSI NAME: the rows of one MSI table, without its three header lines.
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }

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
finish
