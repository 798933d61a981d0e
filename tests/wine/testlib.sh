# Minimal assertion helpers for the end-to-end scripts: each check prints one line
# and counts; the script's exit status is the number of failed checks (capped).
PASSED=0
FAILED=0

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        PASSED=$((PASSED + 1))
        echo "ok   - $1"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL - $1"
        echo "       expected: $(printf '%q' "$2")"
        echo "       actual:   $(printf '%q' "$3")"
    fi
}

check_true() {  # check_true NAME COMMAND...
    local name=$1
    shift
    if "$@"; then check "$name" 0 0; else check "$name" 0 "exit $?"; fi
}

# tries SECS: how often a wait of SECS asks, a tenth of a second apart. Each
# asking may itself take seconds (a driver waiting for a window that is not
# there), so a wait also ends once five times SECS have passed.
tries() { seq 1 $(($1 * 10)); }
past_due() { [ "$SECONDS" -ge "$1" ]; }

# check_soon NAME EXPECTED COMMAND [SECS]: the output of the shell command, as
# soon as it matches or after SECS (default 10) seconds; for states that settle.
check_soon() {
    local got i due=$((SECONDS + 5 * ${4:-10}))
    for i in $(tries "${4:-10}"); do
        got=$(eval "$3")
        [ "$got" = "$2" ] && break
        past_due "$due" && break
        sleep 0.1
    done
    check "$1" "$2" "$got"
}

finish() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}
