#!/bin/bash
# paktool probe-responder: its command line, and what it answers on a loopback address of
# this machine (a Python client sends the datagrams; nothing leaves the machine).
# Usage: probe_cli_test.sh PAKTOOL
source "$(dirname "$0")/cli_harness.sh"
cli_init "$@"

# --- command line (each fails before it opens a socket, or cannot bind) --------------------
expect bad_bind_text     2 '' "--bind expects a dotted IPv4 address, not 'localhost'" -- probe-responder --bind localhost
expect port_zero         2 '' '--port expects an integer from 1 to 65535' -- probe-responder --port 0
expect port_too_big      2 '' '--port expects an integer from 1 to 65535' -- probe-responder --port 70000
expect extra_argument    2 '' 'expected 0 arguments' -- probe-responder 127.0.0.1
expect bind_not_ours     1 '' 'cannot bind 192.0.2.1:10874' -- probe-responder --bind 192.0.2.1
expect listed_in_help    0 '.*probe-responder.*' '' -- --help

# --- answers ----------------------------------------------------------------------------------
# An address of 127/8 for this run only, so parallel runs never contend for port 10874.
ADDR="127.$((RANDOM % 100 + 100)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
"$PAKTOOL" probe-responder --bind "$ADDR" >"$WORK/responder.out" 2>"$WORK/responder.err" &
RESPONDER=$!
trap 'kill "$RESPONDER" 2>/dev/null; wait "$RESPONDER" 2>/dev/null; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do
    grep -q "answering probes on $ADDR:10874" "$WORK/responder.out" 2>/dev/null && break
    sleep 0.1
done

OUT="$(/usr/bin/python3 - "$ADDR" <<'PY'
import socket, sys
addr = (sys.argv[1], 10874)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
def answer(payload, wait=0.3):
    s.sendto(payload, addr)
    s.settimeout(wait)
    try:
        return s.recvfrom(4096)
    except socket.timeout:
        return None
probe = bytes.fromhex("f0debc9a") + (123456).to_bytes(4, "little")
got = answer(probe, 2.0)
print("eight-bytes", "echoed" if got and got[0] == probe and got[1] == addr else "wrong %r" % (got,))
for size in (0, 1, 7, 9, 1500):
    got = answer(b"\x01" * size)
    print("size-%d" % size, "ignored" if got is None else "answered %d bytes" % len(got[0]))
# 998 more answers make 999: no report yet; the 1000th brings the one line.
s.settimeout(2.0)
for i in range(998):
    s.sendto(i.to_bytes(8, "little"), addr)
    s.recvfrom(4096)
print("answered", 999)
PY
)"
for want in "eight-bytes echoed" "size-0 ignored" "size-1 ignored" "size-7 ignored" "size-9 ignored" \
            "size-1500 ignored" "answered 999"; do
    if printf '%s\n' "$OUT" | grep -qx "$want"; then CLI_PASSED=$((CLI_PASSED + 1)); else cli_fail "answers" "missing '$want'"; fi
done
sleep 0.2
if grep -q "probes answered" "$WORK/responder.out"; then cli_fail report_before_1000 "a report line before 1000 answers"; else CLI_PASSED=$((CLI_PASSED + 1)); fi
/usr/bin/python3 -c "
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2.0)
s.sendto(b'12345678', ('$ADDR', 10874)); s.recvfrom(64)"
for _ in $(seq 20); do grep -q "probes answered" "$WORK/responder.out" && break; sleep 0.1; done
if [ "$(grep -c '' "$WORK/responder.out")" = 2 ] && grep -qx "1000 probes answered" "$WORK/responder.out"; then
    CLI_PASSED=$((CLI_PASSED + 1))
else
    OUT="$(cat "$WORK/responder.out")"; cli_fail report_at_1000 "expected the start line and one report line"
fi
if kill -0 "$RESPONDER" 2>/dev/null && [ ! -s "$WORK/responder.err" ]; then
    CLI_PASSED=$((CLI_PASSED + 1))
else
    ERR="$(cat "$WORK/responder.err")"; cli_fail still_running "the responder ended or complained"
fi

cli_finish
