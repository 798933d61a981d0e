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

# check_soon NAME EXPECTED COMMAND [SECS]: the output of the shell command, as
# soon as it matches or after SECS (default 10) seconds; for states that settle.
check_soon() {
    local got i
    for i in $(seq 1 $((${4:-10} * 10))); do
        got=$(eval "$3")
        [ "$got" = "$2" ] && break
        sleep 0.1
    done
    check "$1" "$2" "$got"
}

finish() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}
