#!/usr/bin/env bash
# Fails when a file of a layer below the front ends (the `layer` lines of the
# CMake table) calls a window function, sends a window message, or uses window
# handles or the window headers. A file named in the allow-list may still do so
# until it is cleaned; a listed file that no longer does fails too, so the list
# only shrinks.
# Usage: check-windowless.sh [ROOT [TABLE [ALLOW-LIST]]]
set -u
root=$(cd "${1:-$(dirname "$0")/..}" && pwd) || exit 2
table=${2:-$root/build/native/layers.txt}
allow=${3:-$root/tools/windowless-allow.txt}
[ -f "$table" ] || { echo "no layer table at $table: configure a build tree first"; exit 2; }
layers=$(awk '$1 == "layer" { sub(/:$/, "", $2); print $2 }' "$table")
[ -n "$layers" ] || { echo "the layer table $table names no layer"; exit 2; }
listed=$([ -f "$allow" ] && sed 's/#.*//; s/[[:space:]]*$//' "$allow" | grep -v '^$' || true)
cd "$root" || exit 2

calls='SendMessage|SendNotifyMessage|SendMessageTimeout|SendDlgItemMessage|PostMessage|PostThreadMessage'
calls+='|PostQuitMessage|PeekMessage|GetMessage|DispatchMessage|TranslateMessage|MsgWaitForMultipleObjects'
calls+='|MsgWaitForMultipleObjectsEx|MessageBox|MessageBoxEx|MessageBoxIndirect|MessageBeep|CreateWindow'
calls+='|CreateWindowEx|CreateDialog|CreateDialogParam|CreateDialogIndirectParam|DialogBox|DialogBoxParam'
calls+='|DialogBoxIndirectParam|EndDialog|SetWindowText|GetWindowText|SetDlgItemText|GetDlgItemText'
calls+='|GetDlgItem|EnableWindow|ShowWindow|UpdateWindow|InvalidateRect|RedrawWindow|FindWindow'
calls+='|FindWindowEx|SetWindowLongPtr|GetWindowLongPtr|DefWindowProc|RegisterClass|RegisterClassEx'
calls+='|GetForegroundWindow|SetFocus|GetActiveWindow|IsWindow|DestroyWindow|SetTimer|KillTimer'
pattern="\\b($calls)[AW]?[[:space:]]*\\(|\\b(HWND|WNDPROC|DLGPROC|MSG|WM_[A-Z_]+|BM_[A-Z]+|PBM_[A-Z]+)\\b"
pattern+="|#[[:space:]]*include[[:space:]]*<(commctrl|windowsx|winuser|commdlg|richedit)\\.h>"

bad=0
offenders=""
for dir in $layers; do
    [ -d "$dir" ] || continue
    while IFS= read -r file; do
        # Comments may speak of windows; only code counts.
        hits=$(sed -E 's#//.*$##' "$file" | grep -nE "$pattern" || true)
        [ -n "$hits" ] || continue
        offenders+="$file"$'\n'
        if grep -qxF -- "$file" <<<"$listed"; then continue; fi
        while IFS= read -r hit; do
            echo "$file:${hit%%:*}: window code below the front ends: ${hit#*:}" | sed 's/  */ /g'
            bad=$((bad + 1))
        done <<<"$hits"
    done < <(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
done
while IFS= read -r file; do
    [ -z "$file" ] && continue
    if ! grep -qxF -- "$file" <<<"$offenders"; then
        echo "$allow: $file has no window code left: take its line out"
        bad=$((bad + 1))
    fi
done <<<"$listed"
if [ "$bad" -gt 0 ]; then
    echo "$bad finding(s) of window code below the front ends"
    exit 1
fi
echo "no window code below the front ends ($(grep -c . <<<"$listed" || true) file(s) still allowed)"
