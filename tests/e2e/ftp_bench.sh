#!/usr/bin/env bash
# Throughput: a 200 MB download on loopback from vsftpd by curl, by a bare WinINet loop with
# 1 MiB reads and by the FTP session (both under Wine), in one run. The test command runs it
# too (a few seconds) so its figures stand in every log; it fails only when a download fails.
# Needs scripts/build.sh win64. BENCH_MB sets the size.
set -uo pipefail

ROOT=${REPO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BUILD_WIN=${BUILD_WIN:-${BUILD_WIN64:-$ROOT/build/win64/bin}}
MB=${BENCH_MB:-200}
PYTHON=/usr/bin/python3

WORK=$(mktemp -d /tmp/kvo-ftp-bench.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && { kill "$PID" 2>/dev/null; wait "$PID" 2>/dev/null; }
  chmod -R u+w "$WORK" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
  "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$WORK/tree" "$WORK/empty" "$WORK/out"
head -c $((MB * 1000000)) /dev/urandom >"$WORK/tree/big.bin"
chmod -R a-w "$WORK/tree"
PORT=$(free_port)
PASV=$(free_port)
sed -e "s|@ROOT@|$WORK/tree|" -e "s|@PORT@|$PORT|" -e "s|@PASV_MIN@|$PASV|" -e "s|@PASV_MAX@|$((PASV + 20))|" \
    -e "s|@EMPTY@|$WORK/empty|" "$ROOT/tests/e2e/ftp_servers/vsftpd.conf.in" >"$WORK/vsftpd.conf"
/usr/sbin/vsftpd "$WORK/vsftpd.conf" >/dev/null 2>&1 &
PID=$!
sleep 1

start=$(date +%s.%N)
curl -s -o "$WORK/out/curl.bin" "ftp://127.0.0.1:$PORT/big.bin"
end=$(date +%s.%N)
printf '%-28s %8.2f s\n' "curl" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
rm -f "$WORK/out/curl.bin"

bash "$ROOT/scripts/wine-run.sh" "$BUILD_WIN/ftp_bench.exe" 127.0.0.1 "$PORT" big.bin \
  "Z:${WORK//\//\\}\\out\\big.bin"
