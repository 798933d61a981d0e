#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own. The layers, from
# the bottom: common, image, writer, core, then the window (app) and the console,
# each on the window framework; the option library, the print program and the
# emulator sit beside them. A folder may include only the folders listed for it.
set -u
cd "${1:-$(dirname "$0")/..}" || exit 2
declare -A allowed=(
    [common]="common"
    [image]="common image"
    [writer]="common image writer"
    [core]="common image writer core"
    [framework]="common framework"
    [app]="common image writer core framework app"
    [console]="common image writer core framework console"
    [emulator]="common writer emulator"
    [plinth]="common plinth"
    [optdump]="common plinth framework optdump"
    [optprint]="common framework optprint"
)
bad=0
for dir in "${!allowed[@]}"; do
    [ -d "$dir" ] || continue
    while IFS=: read -r file line target; do
        if [[ " ${allowed[$dir]} " != *" $target "* ]]; then
            echo "$file:$line: includes a header of $target/, above $dir/"
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
