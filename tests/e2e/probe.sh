#!/usr/bin/env bash
# Server selection in the Windows build under Wine: the probe and the pick against
# responders on loopback addresses of this machine, made on the Linux side (Wine itself
# answers from 127.0.0.1 whatever loopback address a socket is bound to): Python responders
# with chosen delays (tests/net/probe_peers.py) and an operator's paktool probe-responder
# (the host build). Nothing leaves the machine.
set -uo pipefail

ROOT=${REPO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BUILD_WIN=${BUILD_WIN:-${BUILD_WIN64:-$ROOT/build/win64/bin}}
BUILD_HOST=${BUILD_HOST:-$ROOT/build/host/bin}
WAIT_ROUNDS=50  # of 0.1 s, for a helper to report that it listens

for needed in "$BUILD_WIN/unit_tests.exe" "$BUILD_HOST/paktool"; do
  if [ ! -f "$needed" ]; then
    echo "probe e2e: $needed missing (scripts/build.sh host and the Windows build)" >&2
    exit 1
  fi
done

WORK=$(mktemp -d /tmp/kvo-probe-e2e.XXXXXX)
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# waits_for FILE REGEX: true once FILE has a line matching REGEX.
waits_for() {
  for _ in $(seq "$WAIT_ROUNDS"); do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "probe e2e: no line '$2' in $1" >&2
  return 1
}

/usr/bin/python3 "$ROOT/tests/net/probe_peers.py" >"$WORK/peers.out" &
PIDS+=($!)
waits_for "$WORK/peers.out" '^[0-9]+$' || exit 1
export KVO_PROBE_PEER_CONTROL=$(head -n 1 "$WORK/peers.out")

# An address of 127/8 for this run only, so parallel runs never contend for port 10874.
export KVO_PROBE_RESPONDER="127.$((RANDOM % 100 + 100)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
"$BUILD_HOST/paktool" probe-responder --bind "$KVO_PROBE_RESPONDER" >"$WORK/responder.out" 2>&1 &
PIDS+=($!)
waits_for "$WORK/responder.out" "answering probes on $KVO_PROBE_RESPONDER:10874" || exit 1

timeout 180 bash "$ROOT/scripts/wine-run.sh" "$BUILD_WIN/unit_tests.exe" \
  --gtest_filter='ProbeTest.*:ServerSelect*' >"$WORK/tests.out" 2>&1
rc=$?
cat "$WORK/tests.out"
if [ "$rc" -ne 0 ]; then
  echo "probe e2e: FAILED (exit $rc)"
  exit 1
fi
if grep -q '^\[  SKIPPED \]' "$WORK/tests.out"; then
  echo "probe e2e: FAILED (a test skipped although its responders were running)"
  exit 1
fi
echo "probe e2e: passed"
