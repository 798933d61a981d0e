#!/usr/bin/env bash
# Every shipped program and library of both Windows builds may import only the system's own DLLs
# (and the option library its project-information library).
. "$(dirname "$0")/../tests/wine/testlib.sh"
root="$(cd "$(dirname "$0")/.." && pwd)"
allowed='^(kernel32|user32|gdi32|comdlg32|comctl32|winspool\.drv|advapi32|setupapi|shell32|msvcrt|ole32|bcrypt|odbc32)\.dll$'
for arch in x86_64 i686; do
    for f in Pyrograph.exe pyrocmd.exe Ravelin32.dll Tessel32.exe Plinth32.dll ZK40P22A.DLL; do
        bin="$root/build/win-$arch/bin/$f"
        if [ ! -f "$bin" ]; then
            check "$arch $f exists" yes no
            continue
        fi
        extra=$(objdump -p "$bin" | awk '/DLL Name:/ {print tolower($3)}' |
            grep -vE "$allowed" | grep -vE "$([ "$f" = Ravelin32.dll ] && echo '^plinth32\.dll$' || echo '^$')" |
            tr '\n' ' ')
        check "$arch $f imports only system DLLs" "" "$extra"
    done
done
finish
