#!/usr/bin/env bash
# The option library's exports, called by a small probe program that answers the
# library's message boxes and prints their texts.
. "$(dirname "$0")/e2e-lib.sh"

scenario optdump
cp "$PYRO_WINBIN"/*.CFG "$PYRO_WINBIN"/*.DLL "$SCEN"/
W=$(winpath "$SCEN")
timeout 60 "$WINE" "$SCEN/optdump_probe.exe" write-samples "$W" >/dev/null 2>&1 </dev/null

# PROBE_LOCALE, when set, is the user's language of that one run.
probe() {
    timeout 60 env ${PROBE_LOCALE:+LC_ALL=$PROBE_LOCALE LANG=$PROBE_LOCALE} \
        "$WINE" "$SCEN/optdump_probe.exe" "$@" 2>/dev/null </dev/null | tr -d '\r'
}
sep=$(printf '%083d' 0 | tr 0 -)
pad() { printf '%-*s' "$1" "$2"; }

out=$(probe otp "$W\\sample.otp" ZK30P11C-4)
check "otp: the report comes back without a message" "REPORT" "$(echo "$out" | head -1 | cut -d' ' -f1)"
check "otp: body and upper-cased file name" \
    "MCU     Name : ZK30P11C-4|File    Name : $(echo "$W\\SAMPLE.OTP" | tr a-z A-Z)" \
    "$(echo "$out" | sed -n '3p;4p' | paste -sd'|')"
check "otp: checksum block" \
    "File      Checksum : [ 0F00 ]|Program Code Checksum : [ 0078 ]|OTP  Code Checksum : [ 00A3 ] (Program code checksum + Option code checksum)|$sep" \
    "$(echo "$out" | sed -n '6,9p' | paste -sd'|')"
check "otp: settings with conditions" \
    "$(pad 30 OSC)Internal RC 4MHz|$(pad 30 WDT)Watchdog enabled|$(pad 30 'WDT period')Watchdog period 18ms|$(pad 30 LVR)Low voltage reset 2.7V|$sep" \
    "$(echo "$out" | sed -n '10,14p' | paste -sd'|')"
check "otp: pin table" \
    "$(pad 25 '')7 6 5 4 3 2 1 0|$(pad 25 'PA0- WAKEUP')- - - - - - 0 1   1:enabled, 0:disabled|$(pad 25 'PB4- PULLUP')- - 0 1 - - - -   1:on, 0:off|$sep" \
    "$(echo "$out" | sed -n '15,18p' | paste -sd'|')"

out=$(probe otp "$W\\io2.otp" ZK20P08B)
check "otp: two-bit pins read their second bits two bytes on" \
    "$(pad 25 'PA0- MODE')- - - - Y N Y M  Y: input, N: output, X: open drain, M: analog" \
    "$(echo "$out" | grep '^PA0- MODE')"

out=$(probe otp "$W\\short.otp" ZK30P11C-4)
check "otp: missing option bytes read as 0" "$(pad 25 'PA0- WAKEUP')- - - - - - 0 0   1:enabled, 0:disabled" \
    "$(echo "$out" | grep '^PA0- WAKEUP')"

out=$(probe otp "$W\\noopt.otp" ZK30P11C-4)
check "otp: a header without option words" "MSG Internal error: INVALID_OID" "$(echo "$out" | head -1)"
check "otp: ... and no option record is taken" "$(pad 30 OSC)Crystal 4MHz" "$(echo "$out" | grep '^OSC')"

out=$(probe otp "$W\\sample.otp" ZK40P22A)
check "otp: the plug-in writes the option part" "Mask option word 0 : 0526H" "$(echo "$out" | grep '^Mask')"
check "otp: engineering note" "NOTE: The underlying chip is an ENGINEERING version." "$(echo "$out" | grep '^NOTE')"
check "otp: no setting list with a plug-in" "" "$(echo "$out" | grep '^OSC')"

echo garbage >"$SCEN/ZK40P22A.DLL"
out=$(probe otp "$W\\sample.otp" ZK40P22A)
check "otp: an unloadable plug-in is reported" "MSG Error loading '$W\\ZK40P22A.DLL'" "$(echo "$out" | head -1)"
check "otp: ... and the report ends after the checksums" "$sep" "$(echo "$out" | tail -1)"

out=$(probe otp "$W\\sample.otp" NOBODY)
check "otp: a missing configuration" "MSG Invalid CFG file|NULL" "$(echo "$out" | paste -sd'|')"
out=$(probe otp "$W\\missing.otp" ZK30P11C-4)
check "otp: a missing image" "MSG Open '$W\\missing.otp' error|NULL" "$(echo "$out" | paste -sd'|')"

out=$(probe cod "$W\\sample.cod")
check "cod: version line" "Tarnix  Ver. : 6.1 SP2" "$(echo "$out" | grep '^Tarnix')"
check "cod: mask checksum label" 1 "$(echo "$out" | grep -c '^MASK Code Checksum : \[ ')"
check "cod: settings of the option section" "$(pad 30 OSC)Internal RC 4MHz" "$(echo "$out" | grep '^OSC')"
check "cod: notes end the report" "First note|$sep" "$(echo "$out" | tail -2 | paste -sd'|')"

out=$(probe opt ZK30P11C-4 "$W\\sample.opt")
check "opt: byte rule" "$(pad 30 OSC)Internal RC 4MHz|$(pad 30 LVR)Low voltage reset 2.7V" \
    "$(echo "$out" | grep -E '^(OSC|LVR)' | paste -sd'|')"
check "opt: zero checksums and version" "Tarnix  Ver. : 0.0|MASK Code Checksum : [ 0000 ] (Program code checksum + Option code checksum)" \
    "$(echo "$out" | grep -E '^(Tarnix|MASK)' | paste -sd'|')"
out=$(probe opt ZK30P11C-4 'C:\none.opt')
check "opt: an unopenable file is reported" "MSG Open 'C:\\none.opt' error" "$(echo "$out" | head -1)"
check "opt: ... and still gives a report of zeros" "$(pad 30 OSC)Crystal 4MHz" "$(echo "$out" | grep '^OSC')"

# The string table follows the user's language: Simplified Chinese has its own
# texts, Traditional Chinese the English ones.
out=$(PROBE_LOCALE=zh_CN.UTF-8 probe opt ZK30P11C-4 'C:\none.opt')
check "messages in Simplified Chinese" "MSG 打开'C:\\none.opt'文档时发生错误" "$(echo "$out" | head -1)"
out=$(PROBE_LOCALE=zh_TW.UTF-8 probe opt ZK30P11C-4 'C:\none.opt')
check "messages in Traditional Chinese are the English texts" "MSG Open 'C:\\none.opt' error" \
    "$(echo "$out" | head -1)"

finish
