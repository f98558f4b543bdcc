#!/usr/bin/env bash
# Throughput over HTTPS: a 200 MB download on loopback from nginx (a throw-away CA and
# certificate for localhost) by curl on the host and by the HTTP session under Wine, in one
# run. Not a timed test: it fails only when a download fails. Needs scripts/build.sh win64.
# BENCH_MB sets the size.
set -uo pipefail

ROOT=${REPO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BUILD_WIN=${BUILD_WIN:-${BUILD_WIN64:-$ROOT/build/win64/bin}}
MB=${BENCH_MB:-200}
PYTHON=/usr/bin/python3

WORK=$(mktemp -d /tmp/kvo-http-bench.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && { kill "$PID" 2>/dev/null; wait "$PID" 2>/dev/null; }
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
  "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$WORK/www" "$WORK/out" "$WORK/tmp"
head -c $((MB * 1000000)) /dev/urandom >"$WORK/www/big.bin"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=bench CA" \
  -keyout "$WORK/ca.key" -out "$WORK/ca.pem" >/dev/null 2>&1
printf 'subjectAltName=DNS:localhost\n' >"$WORK/srv.ext"
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$WORK/srv.key" -out "$WORK/srv.csr" >/dev/null 2>&1
openssl x509 -req -in "$WORK/srv.csr" -CA "$WORK/ca.pem" -CAkey "$WORK/ca.key" -CAcreateserial -days 2 \
  -extfile "$WORK/srv.ext" -out "$WORK/srv.pem" >/dev/null 2>&1
PORT=$(free_port)
D=$WORK
cat >"$WORK/nginx.conf" <<CONF
user root; daemon off; pid $D/nginx.pid; error_log $D/error.log; worker_processes 1;
events { worker_connections 64; }
http { access_log $D/access.log; client_body_temp_path $D/tmp; proxy_temp_path $D/tmp;
       fastcgi_temp_path $D/tmp; uwsgi_temp_path $D/tmp; scgi_temp_path $D/tmp;
  server { listen 127.0.0.1:$PORT ssl; server_name localhost;
           ssl_certificate $D/srv.pem; ssl_certificate_key $D/srv.key; root $D/www; } }
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" >/dev/null 2>&1 &
PID=$!
sleep 1

start=$(date +%s.%N)
curl -s --cacert "$WORK/ca.pem" -o "$WORK/out/curl.bin" "https://localhost:$PORT/big.bin" || exit 1
end=$(date +%s.%N)
printf '%-28s %8.2f s %10.1f MB/s\n' "curl (host)" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
  "$(awk -v a="$start" -v b="$end" -v n="$MB" 'BEGIN { print n / (b - a) }')"
rm -f "$WORK/out/curl.bin"

bash "$ROOT/scripts/wine-run.sh" "$BUILD_WIN/http_bench.exe" "https://localhost:$PORT/" big.bin \
  "Z:${WORK//\//\\}\\out\\big.bin" "Z:${WORK//\//\\}\\ca.pem"  || exit 1

# Many small files from a server that answers each request 20 ms late: the update run's way
# of fetching them (planned, continued, moved into place) on 1 connection and on 4.
FILES=${BENCH_FILES:-3000}
FILE_BYTES=20000
DELAY_MS=20
mkdir -p "$WORK/many" "$WORK/got1" "$WORK/got4"
"$PYTHON" - "$WORK/many" "$FILES" "$FILE_BYTES" <<'PY'
import os, sys
root, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    with open(os.path.join(root, "f%04d.bin" % i), "wb") as f:
        f.write(os.urandom(size))
PY
"$PYTHON" "$ROOT/tests/e2e/http_servers/delayed_server.py" "$WORK/many" "$DELAY_MS" >"$WORK/delayed.port" &
DELAYED=$!
trap 'kill $DELAYED 2>/dev/null; cleanup' EXIT
for _ in $(seq 50); do [ -s "$WORK/delayed.port" ] && break; sleep 0.1; done
DPORT=$(cat "$WORK/delayed.port")
declare -A took
for n in 1 4; do
  line=$(bash "$ROOT/scripts/wine-run.sh" "$BUILD_WIN/http_bench.exe" files "http://127.0.0.1:$DPORT/" "$FILES" \
    "$FILE_BYTES" "Z:${WORK//\//\\}\\got$n" "$n" | tr -d '\r')
  echo "$line"
  took[$n]=$(awk '{ for (i = 1; i < NF; i++) if ($(i + 1) == "s") print $i }' <<<"$line")
  [ -n "${took[$n]}" ] || { echo "FAIL: the $n-connection run did not finish"; exit 1; }
  cmp -s "$WORK/many/f0000.bin" "$WORK/got$n/f0000.bin" || { echo "FAIL: wrong content with $n connection(s)"; exit 1; }
done
printf '%s files of %s bytes, %s ms per request: 4 connections %.2fx as fast as 1\n' "$FILES" "$FILE_BYTES" \
  "$DELAY_MS" "$(awk -v a="${took[1]}" -v b="${took[4]}" 'BEGIN { print a / b }')"
