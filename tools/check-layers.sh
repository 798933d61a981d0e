#!/usr/bin/env bash
# Fails when a file includes a header of a folder its own may not include. The
# table of folders and what each may include is the one CMake declares
# (layers.txt in a configured build tree).
# Usage: check-layers.sh [ROOT [TABLE]]
set -u
root=$(cd "${1:-$(dirname "$0")/..}" && pwd) || exit 2
table=${2:-$root/build/native/layers.txt}
[ -f "$table" ] || { echo "no layer table at $table: configure a build tree first"; exit 2; }
declare -A allowed=()
while read -r kind dir rest; do
    [ -n "$kind" ] && allowed[${dir%:}]=$rest
done <"$table"
[ ${#allowed[@]} -gt 0 ] || { echo "the layer table $table is empty"; exit 2; }
cd "$root" || exit 2
bad=0
for dir in "${!allowed[@]}"; do
    [ -d "$dir" ] || continue
    while IFS=: read -r file line target; do
        if [[ " ${allowed[$dir]} " != *" $target "* ]]; then
            echo "$file:$line: includes a header of $target/, which $dir/ may not include"
            bad=$((bad + 1))
        fi
    done < <(grep -rnoE --include='*.cpp' --include='*.h' --include='*.c' --include='*.rc' \
                 '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$dir" |
             sed -E 's/#[[:space:]]*include[[:space:]]*"//; s#/$##; s/:[[:space:]]*/:/2')
done
if [ "$bad" -gt 0 ]; then
    echo "$bad include(s) point up a layer"
    exit 1
fi
echo "every include points down a layer"
