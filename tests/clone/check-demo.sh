#!/usr/bin/env bash
# The README's first command as a new user runs it: in a fresh clone of this checkout,
# headless, building from nothing but the installed packages. It must download the
# sample image, pass Auto, show the option report, leave a PNG screenshot and end
# with a console run on two writers.
. "$(dirname "$0")/../wine/testlib.sh"
root="$(cd "$(dirname "$0")/../.." && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
git clone -q "$root" "$tmp/p"

# Nothing of this run's environment leads into the tree under test; a compiler cache
# the caller set up may serve the build.
keep=(PATH HOME USER LANG TERM CCACHE_DIR CCACHE_BASEDIR CMAKE_C_COMPILER_LAUNCHER
      CMAKE_CXX_COMPILER_LAUNCHER)
vars=()
for v in "${keep[@]}"; do [ -n "${!v:-}" ] && vars+=("$v=${!v}"); done
start=$(date +%s)
out=$(cd "$tmp/p" && env -i "${vars[@]}" ./run-demo.sh 2>&1 </dev/null)
rc=$?
printf '%s\n' "$out" | sed 's/^/  | /'
echo "  (the demo took $(($(date +%s) - start)) s from a fresh clone)"

check "the demo exits 0" 0 "$rc"
check "it reports the download" 1 "$(grep -c '^  -> Download OK!$' <<<"$out")"
check "it reports the Auto pass" 1 "$(grep -c '^  -> Blank Check/Programming/Verify OK!$' <<<"$out")"
check "it shows the option report of the sample" 1 \
    "$(grep -c '^  | MCU     Name : ZK30P11C-4$' <<<"$out")"
check "the console gang run passes six chips with numbers" 6 \
    "$(grep -c '^  COM[12]  Chip [1-6]  PASS  S/N:' <<<"$out")"
check_true "both writers took chips" test "$(grep -c '^  COM1  Chip' <<<"$out")" -ge 2 -a \
    "$(grep -c '^  COM2  Chip' <<<"$out")" -ge 2
check "and its summary" 1 "$(grep -c '^  Passed: 6, failed: 0, ' <<<"$out")"
png="$tmp/p/build/demo/pyrograph.png"
check "the screenshot is a non-empty PNG" "89504e470d0a1a0a" \
    "$([ -s "$png" ] && head -c 8 "$png" | od -An -tx1 | tr -d ' \n')"
check "the screenshot is not one flat colour" 1 \
    "$(identify -format '%[fx:standard_deviation>0]' "$png" 2>/dev/null)"
finish
