#!/bin/bash
# Command-line test harness for paktool, shared by every paktool area.
#
#   source "$(dirname "$0")/cli_harness.sh"
#   cli_init "$@"                  # $1: the paktool executable; makes $WORK, a scratch dir
#   expect NAME EXIT OUT ERR -- ARGS...
#   cli_finish                     # prints the summary; exits 1 when a case failed
#
# expect runs `paktool ARGS...` inside $WORK and checks:
#   EXIT  the exit code (a number);
#   OUT   an extended regex the whole of stdout must match (anchored at both ends;
#         '' means stdout must be empty, '.*' accepts anything);
#   ERR   for a failing run (EXIT != 0): stderr must be exactly one line, starting with
#         "paktool", that contains a match of ERR;
#         for a successful run: '' means stderr must be empty, otherwise every stderr line
#         must be a "paktool ...: note: " line and stderr must contain a match of ERR
#         ('.*' accepts notes or none).
# After expect, $OUT and $ERR hold the captured stdout and stderr of the run; expect
# returns 1 when the exit code was not the expected one (so dependent steps can be skipped).
#
# Fixture helpers (files are created in $WORK):
#   make_bytes FILE SIZE [SEED]    deterministic incompressible bytes
#   make_text FILE SIZE            repetitive, well compressible text
#   skip NAME WHY                  records a case that cannot run in this build

CLI_PASSED=0
CLI_FAILED=0
CLI_SKIPPED=0

cli_init() {
    PAKTOOL="$1"
    if [ -z "$PAKTOOL" ] || [ ! -x "$PAKTOOL" ]; then
        echo "usage: $0 PAKTOOL (got '$PAKTOOL')" >&2
        exit 2
    fi
    # Cases run inside $WORK: make the path absolute first.
    PAKTOOL="$(cd "$(dirname "$PAKTOOL")" && pwd)/$(basename "$PAKTOOL")"
    WORK="$(mktemp -d "${TMPDIR:-/tmp}/paktool-cli.XXXXXX")"
    trap 'rm -rf "$WORK"' EXIT
    export LC_ALL=C
}

cli_fail() {
    echo "FAIL $1: $2" >&2
    echo "  stdout: $(printf '%s' "$OUT" | head -c 400)" >&2
    echo "  stderr: $(printf '%s' "$ERR" | head -c 400)" >&2
    CLI_FAILED=$((CLI_FAILED + 1))
}

expect() {
    local name="$1" want_exit="$2" want_out="$3" want_err="$4"
    shift 4
    if [ "$1" != "--" ]; then
        echo "harness misuse in case $name: expected -- before the arguments" >&2
        exit 2
    fi
    shift
    local code
    OUT="$(cd "$WORK" && "$PAKTOOL" "$@" 2>"$WORK/.stderr")"
    code=$?
    ERR="$(cat "$WORK/.stderr")"

    if [ "$code" != "$want_exit" ]; then
        cli_fail "$name" "exit code $code, expected $want_exit"
        return 1
    fi
    if ! [[ "$OUT" =~ ^${want_out}$ ]]; then
        cli_fail "$name" "stdout does not match /$want_out/"
        return
    fi
    local lines
    lines="$(printf '%s' "$ERR" | grep -c '')"
    if [ "$want_exit" != 0 ]; then
        if [ "$lines" != 1 ] || [[ "$ERR" != paktool* ]]; then
            cli_fail "$name" "stderr must be one line starting with 'paktool', got $lines lines"
            return
        fi
        if ! printf '%s' "$ERR" | grep -Eq -- "$want_err"; then
            cli_fail "$name" "stderr does not contain /$want_err/"
            return
        fi
    elif [ -z "$want_err" ]; then
        if [ -n "$ERR" ]; then
            cli_fail "$name" "stderr must be empty on success"
            return
        fi
    else
        if [ -n "$ERR" ] && printf '%s\n' "$ERR" | grep -vEq '^paktool [^:]*: note: '; then
            cli_fail "$name" "stderr of a successful run holds a line that is not a note"
            return
        fi
        if [ "$want_err" != '.*' ] && ! printf '%s' "$ERR" | grep -Eq -- "$want_err"; then
            cli_fail "$name" "stderr does not contain /$want_err/"
            return
        fi
    fi
    CLI_PASSED=$((CLI_PASSED + 1))
    return 0
}

# Incompressible but reproducible bytes: a 32-bit linear congruential sequence.
make_bytes() {
    local file="$1" size="$2" seed="${3:-12345}"
    LC_ALL=C awk -v n="$size" -v x="$seed" 'BEGIN {
        for (i = 0; i < n; i++) { x = (x * 69069 + 1) % 4294967296; printf "%c", int(x / 65536) % 256 }
    }' > "$WORK/$file"
}

make_text() {
    local file="$1" size="$2"
    yes "the quick brown fox jumps over the lazy dog 0123456789" | head -c "$size" > "$WORK/$file"
}

skip() {
    echo "SKIP $1: $2"
    CLI_SKIPPED=$((CLI_SKIPPED + 1))
}

cli_finish() {
    echo "$CLI_PASSED passed, $CLI_FAILED failed, $CLI_SKIPPED skipped"
    [ "$CLI_FAILED" = 0 ]
    exit $?
}
