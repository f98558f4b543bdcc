#!/usr/bin/env bash
# The FTP session of the Windows build under Wine against real servers on loopback
# addresses of this machine: vsftpd on 127.0.0.1 (anonymous, read-only, passive ports on
# loopback) and the fault server (tests/e2e/ftp_servers/fault_server.py) on 127.0.0.2, with
# a faultless twin on 127.0.0.3 for server switching. Runs the FtpLive* unit tests, the
# 31-second stall once. Every server is stopped at the end. Nothing leaves the machine.
set -uo pipefail

ROOT=${REPO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BUILD_WIN=${BUILD_WIN:-${BUILD_WIN64:-$ROOT/build/win64/bin}}
PYTHON=/usr/bin/python3
WAIT_ROUNDS=50  # of 0.1 s, for a server to listen

if [ ! -f "$BUILD_WIN/unit_tests.exe" ]; then
  echo "ftp e2e: $BUILD_WIN/unit_tests.exe missing (scripts/build.sh win64)" >&2
  exit 1
fi

WORK=$(mktemp -d /tmp/kvo-ftp-e2e.XXXXXX)
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  chmod -R u+w "$WORK" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# A free TCP port on 127.0.0.1 (the kernel's choice).
free_port() {
  "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# waits_for FILE REGEX: true once FILE has a line matching REGEX.
waits_for() {
  for _ in $(seq "$WAIT_ROUNDS"); do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "ftp e2e: no line '$2' in $1" >&2
  return 1
}

# port_answers HOST PORT: true once something accepts connections there.
port_answers() {
  for _ in $(seq "$WAIT_ROUNDS"); do
    "$PYTHON" -c 'import socket, sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 1).close()' "$1" "$2" \
      2>/dev/null && return 0
    sleep 0.1
  done
  echo "ftp e2e: nothing answers on $1:$2" >&2
  return 1
}

# The served tree: files of several reads, an empty one, a nested one with an override copy,
# and the fault server's shaped files.
TREE=$WORK/tree
mkdir -p "$TREE/download/sub" "$TREE/v2/sub" "$WORK/empty"
head -c 300000 /dev/urandom >"$TREE/download/good.bin"
: >"$TREE/download/empty.txt"
echo "small file from download" >"$TREE/download/sub/small.txt"
echo "small file from v2" >"$TREE/v2/sub/small.txt"
for name in short-a.bin drop-a.bin stall-a.bin stall-b.bin whole.bin; do
  head -c 200000 /dev/urandom >"$TREE/$name"
done
chmod -R a-w "$TREE"

VSFTPD_PORT=$(free_port)
PASV_MIN=$(free_port)
sed -e "s|@ROOT@|$TREE|" -e "s|@PORT@|$VSFTPD_PORT|" -e "s|@PASV_MIN@|$PASV_MIN|" \
    -e "s|@PASV_MAX@|$((PASV_MIN + 20))|" -e "s|@EMPTY@|$WORK/empty|" \
    "$ROOT/tests/e2e/ftp_servers/vsftpd.conf.in" >"$WORK/vsftpd.conf"
/usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.out" 2>&1 &
PIDS+=($!)
port_answers 127.0.0.1 "$VSFTPD_PORT" || { cat "$WORK/vsftpd.out"; exit 1; }

"$PYTHON" "$ROOT/tests/e2e/ftp_servers/fault_server.py" --address 127.0.0.2 --root "$TREE" >"$WORK/fault.out" 2>&1 &
PIDS+=($!)
waits_for "$WORK/fault.out" '^listening [0-9]+$' || exit 1
FAULT_PORT=$(awk '/^listening/ {print $2; exit}' "$WORK/fault.out")
"$PYTHON" "$ROOT/tests/e2e/ftp_servers/fault_server.py" --address 127.0.0.3 --port "$FAULT_PORT" --plain \
  --root "$TREE" >"$WORK/plain.out" 2>&1 &
PIDS+=($!)
waits_for "$WORK/plain.out" '^listening [0-9]+$' || exit 1

export KVO_FTP_VSFTPD=127.0.0.1:$VSFTPD_PORT
export KVO_FTP_FAULT=127.0.0.2:$FAULT_PORT
export KVO_FTP_PLAIN=127.0.0.3:$FAULT_PORT
export KVO_FTP_TREE="Z:${TREE//\//\\}"
export KVO_FTP_STALL=1

timeout 300 bash "$ROOT/scripts/wine-run.sh" "$BUILD_WIN/unit_tests.exe" --gtest_filter='FtpLive*' \
  >"$WORK/tests.out" 2>&1
rc=$?
cat "$WORK/tests.out"
if [ "$rc" -ne 0 ]; then
  echo "ftp e2e: FAILED (exit $rc)"
  exit 1
fi
if grep -q '^\[  SKIPPED \]' "$WORK/tests.out"; then
  echo "ftp e2e: FAILED (a test skipped although its servers were running)"
  exit 1
fi
echo "ftp e2e: passed"
