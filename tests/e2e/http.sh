#!/usr/bin/env bash
# Updates over HTTPS end to end under Wine: nginx on loopback, with a CA and certificates
# this script makes and throws away, serves a "paktool publish" tree; update.exe whose plug-in
# answers "update url" takes a v1 installation to v2, then finds it up to date; the keyed
# build takes a signed publication and refuses a tampered one; the proxy of the system's
# Internet options carries a run, its bypass list honoured; and servers whose certificate
# does not check out (self-signed, another host name, outside the pinned CA, expired) are refused,
# the installation left as it was, while one whose revocation list is out of reach is taken.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool
command -v nginx >/dev/null || { echo "e2e: nginx missing (scripts/setup.sh)" >&2; exit 1; }

SIGNING=$E2E_ROOT/tests/e2e/signing
SECRET=$SIGNING/test-publisher.secret
BUILD_WIN_SIGNED=${BUILD_WIN_SIGNED:-$(dirname "$(dirname "$BUILD_WIN")")/$KVO_WINE_ARCH-signed/bin}
TEXT_DONE="更新完毕，请点击开始游戏按扭，启动游戏"
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"
TEXT_BAD_DATA="更新相关数据有误"
TEXT_FAILED="下载[download/version.txt]失败"
RUN_SECONDS=90
HOST=localhost

# ---- A throw-away CA and the server certificates ----
PKI=$E2E_WORK/pki
mkdir -p "$PKI"
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kvo test CA" \
  -keyout "$PKI/ca.key" -out "$PKI/ca.pem"
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kvo other CA" \
  -keyout "$PKI/other-ca.key" -out "$PKI/other-ca.pem"

# server_cert NAME CA SAN: a certificate for SAN (e.g. DNS:localhost) signed by the CA named
# CA (ca or other-ca), in $PKI/NAME.pem with its key in $PKI/NAME.key.
server_cert() {
  local name=$1 ca=$2 san=$3
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\n' "$san" >"$PKI/$name.ext"
  quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=${san#DNS:}" -keyout "$PKI/$name.key" -out "$PKI/$name.csr"
  quiet openssl x509 -req -in "$PKI/$name.csr" -CA "$PKI/$ca.pem" -CAkey "$PKI/$ca.key" -CAcreateserial \
    -days 2 -extfile "$PKI/$name.ext" -out "$PKI/$name.pem"
}
server_cert good ca "DNS:$HOST"
server_cert wrong-name ca "DNS:elsewhere.example"
server_cert outside other-ca "DNS:$HOST"
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$HOST" -addext "subjectAltName=DNS:$HOST" \
  -keyout "$PKI/self-signed.key" -out "$PKI/self-signed.pem"
# A certificate of the CA for this host that expired long ago ("openssl ca" sets the dates).
mkdir -p "$PKI/issued"
: >"$PKI/issued/index.txt"
cat >"$PKI/ca.cnf" <<CNF
[ca]
default_ca = issuing
[issuing]
database = $PKI/issued/index.txt
new_certs_dir = $PKI/issued
serial = $PKI/issued/serial
default_md = sha256
policy = any_name
# Several certificates of this host are issued.
unique_subject = no
[any_name]
commonName = supplied
CNF
printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\n' "$HOST" >"$PKI/expired.ext"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=$HOST" -keyout "$PKI/expired.key" -out "$PKI/expired.csr"
quiet openssl ca -batch -config "$PKI/ca.cnf" -rand_serial -cert "$PKI/ca.pem" -keyfile "$PKI/ca.key" \
  -in "$PKI/expired.csr" -out "$PKI/expired.pem" -startdate 20200101000000Z -enddate 20200102000000Z \
  -extfile "$PKI/expired.ext"
# A certificate of the CA for this host naming a revocation list no server answers for.
issue_with_list() {
  local name=$1 url=$2
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\ncrlDistributionPoints=URI:%s\n' "$HOST" "$url" \
    >"$PKI/$name.ext"
  quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=$HOST" -keyout "$PKI/$name.key" -out "$PKI/$name.csr"
  quiet openssl ca -batch -config "$PKI/ca.cnf" -rand_serial -cert "$PKI/ca.pem" -keyfile "$PKI/ca.key" \
    -in "$PKI/$name.csr" -out "$PKI/$name.pem" -days 2 -extfile "$PKI/$name.ext"
}
issue_with_list unreachable-list "http://127.0.0.1:$(free_port)/ca.crl"

# start_nginx NAME TREE [DIRECTIVES]: nginx over https on a free loopback port with the
# certificate NAME, serving TREE, with DIRECTIVES added to its server block. Sets NGINX_PORT,
# NGINX_PID and NGINX_DIR (its access.log is there).
start_nginx() {
  local name=$1 tree=$2 extra=${3:-} d
  d=$(mktemp -d "$E2E_WORK/nginx.XXXXXX")
  mkdir -p "$d/tmp"
  NGINX_PORT=$(free_port)
  cat >"$d/nginx.conf" <<CONF
user root; daemon off; pid $d/nginx.pid; error_log $d/error.log; worker_processes 1;
events { worker_connections 64; }
http { access_log $d/access.log; client_body_temp_path $d/tmp; proxy_temp_path $d/tmp;
       fastcgi_temp_path $d/tmp; uwsgi_temp_path $d/tmp; scgi_temp_path $d/tmp;
  server { listen 127.0.0.1:$NGINX_PORT ssl; server_name $HOST;
           ssl_certificate $PKI/$name.pem; ssl_certificate_key $PKI/$name.key; root $tree; $extra } }
CONF
  nginx -c "$d/nginx.conf" -p "$d" >"$d/out" 2>&1 &
  NGINX_PID=$!
  NGINX_DIR=$d
  E2E_SERVER_PIDS+=("$NGINX_PID")
  port_answers "$NGINX_PORT" && return 0
  echo "e2e: nginx did not start ($(cat "$d/out" "$d/error.log" 2>/dev/null))" >&2
  return 1
}

# point_at_web DIR BASE SERVERDIR [CAFILE]: the installation's plug-in fetches from BASE,
# the publication in SERVERDIR (e.g. download/), checking servers against CAFILE (copied
# beside the tool) when given, else against the system's roots.
point_at_web() {
  local dir=$1 base=$2 serverdir=$3 ca=${4:-}
  point_at_server "$dir" 21 "$serverdir"
  printf 'update url = %s\r\n' "$base" >>"$dir/updatecfg.ini"
  if [ -n "$ca" ]; then
    cp "$ca" "$dir/update-ca.pem"
    printf 'update ca file = update-ca.pem\r\n' >>"$dir/updatecfg.ini"
  fi
}

# The game in two versions, published unsigned, signed, and signed then tampered with.
two_game_versions 3000000
TREE=$E2E_WORK/www
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE/plain" --plugin-version "$PLUGIN_VERSION" >/dev/null
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE" --dir signed/download/ --sign "$SECRET" --number 5 \
  --plugin-version "$PLUGIN_VERSION" >/dev/null
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE" --dir tampered/download/ --sign "$SECRET" --number 5 \
  --plugin-version "$PLUGIN_VERSION" >/dev/null
"$PYTHON" - "$TREE/tampered/download/update.pak" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[len(data) // 2] ^= 0x01
open(path, "wb").write(bytes(data))
PY

start_nginx good "$TREE" || exit 1
GOOD_PORT=$NGINX_PORT
GOOD=https://$HOST:$GOOD_PORT
range_answer() {
  curl -s -o /dev/null -w '%{http_code}' --cacert "$PKI/ca.pem" -r 1-2 "$GOOD/plain/download/update.pak"
}
check "the test server answers Range with 206" test "$(range_answer)" = 206

echo "# a v1 installation updates itself to v2 over https, then finds it up to date"
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "$GOOD/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "changed file updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "new file added to patch.dat" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
check "patch.dat verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
run_bg "$dir" update.exe
check "the next run finds it up to date" log_has "$dir" "$TEXT_UP_TO_DATE" "$RUN_SECONDS"
stop_all

echo "# a player behind a proxy: the proxy set in the system's Internet options carries the run"
PROXY_LOG=$E2E_WORK/proxy.log
: >"$PROXY_LOG"
coproc PROXY { exec "$PYTHON" "$E2E_ROOT/tests/e2e/http_servers/connect_proxy.py" "$PROXY_LOG"; }
E2E_SERVER_PIDS+=("$PROXY_PID")
read -r -t 10 PROXY_PORT <&"${PROXY[0]}" || PROXY_PORT=
INTERNET_SETTINGS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
internet_setting() { quiet "$WINE" reg add "$INTERNET_SETTINGS" /v "$1" /t "$2" /d "$3" /f; }
no_bypass() { quiet "$WINE" reg delete "$INTERNET_SETTINGS" /v ProxyOverride /f; }
# The run's own requests; the window's web page goes through the proxy too (the system's
# web control reads the same setting).
run_requests() { grep -c "^CONNECT $HOST:$GOOD_PORT " "$PROXY_LOG"; }
no_bypass
internet_setting ProxyEnable REG_DWORD 1
internet_setting ProxyServer REG_SZ "127.0.0.1:${PROXY_PORT:-1}"
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "$GOOD/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
check "behind a proxy: the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "behind a proxy: the proxy carried the requests" test "$(run_requests)" -gt 0
check "behind a proxy: new file added to patch.dat" \
  member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
# A host on the setting's bypass list is reached directly.
internet_setting ProxyOverride REG_SZ "*.example.com;LOCALHOST"
: >"$PROXY_LOG"
run_bg "$dir" update.exe
check "bypassed proxy: the next run finds it up to date" log_has "$dir" "$TEXT_UP_TO_DATE" "$RUN_SECONDS"
stop_all
check "bypassed proxy: the proxy saw no request of the run" test "$(run_requests)" -eq 0
# The prefix serves the other scripts too: the setting goes with this case.
internet_setting ProxyEnable REG_DWORD 0
no_bypass

if [ -f "$BUILD_WIN_SIGNED/update.exe" ]; then
  echo "# the keyed build takes a signed publication over https and refuses a tampered one"
  dir=$(synced_install "$E2E_WORK/game-v1")
  cp "$BUILD_WIN_SIGNED/update.exe" "$dir/update.exe"
  point_at_web "$dir" "$GOOD/" signed/download/ "$PKI/ca.pem"
  run_bg "$dir" update.exe
  check "the signed run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
  stop_all
  check "changed file updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"

  dir=$(synced_install "$E2E_WORK/game-v1")
  cp "$BUILD_WIN_SIGNED/update.exe" "$dir/update.exe"
  point_at_web "$dir" "$GOOD/" tampered/download/ "$PKI/ca.pem"
  listing "$dir" >"$E2E_WORK/before.txt"
  run_bg "$dir" update.exe
  check "the tampered list is refused" log_has "$dir" "$TEXT_BAD_DATA" "$RUN_SECONDS"
  stop_all
  check "the installation is unchanged" unchanged "$dir" "$E2E_WORK/before.txt"
else
  echo "e2e: $BUILD_WIN_SIGNED/update.exe missing: the signed cases need scripts/build.sh $KVO_WINE_ARCH-signed" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
fi

echo "# a mirror stopped mid-file: the run finishes on the next one"
# The first mirror sends slowly, so it is stopped while the large new file is on its way.
start_nginx good "$TREE" "limit_rate 300k;" || exit 1
FIRST_PORT=$NGINX_PORT FIRST_PID=$NGINX_PID FIRST_DIR=$NGINX_DIR
start_nginx good "$TREE" || exit 1
SECOND_DIR=$NGINX_DIR
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "https://$HOST:$FIRST_PORT/plain/;https://$HOST:$NGINX_PORT/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
# update.pak is logged once it has been sent; the large file follows it.
for _ in $(seq $((RUN_SECONDS * 10))); do grep -q 'update.pak' "$FIRST_DIR/access.log" 2>/dev/null && break; sleep 0.1; done
sleep 3
kill "$FIRST_PID"
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "the large file came whole" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
check "the next mirror served it" grep -q 'c.bin' "$SECOND_DIR/access.log"
# What each mirror sent of the file (the stopped one logs what it had sent when it ended).
sent_of() { awk '/c\.bin/ { total += $10 } END { print total + 0 }' "$1/access.log" 2>/dev/null; }
first_sent=$(sent_of "$FIRST_DIR")
second_sent=$(sent_of "$SECOND_DIR")
size=$(stat -c %s "$E2E_WORK/game-v2/data/new/c.bin")
echo "    c.bin ($size bytes): the stopped mirror sent $first_sent, the next one $second_sent"
check "the next mirror continued the file at the byte reached (206)" grep -q 'c\.bin[^"]*" 206 ' "$SECOND_DIR/access.log"
check "the two mirrors sent the file once in all (plus 64 KiB)" test $((first_sent + second_sent)) -le $((size + 65536))

echo "# a first mirror that accepts the connection and never answers: the run finishes on the next one"
SILENT_PORT=$(free_port)
"$PYTHON" - "$SILENT_PORT" <<'PY' >/dev/null 2>&1 &
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(16)
held = []
while True:
    held.append(listener.accept()[0])
PY
E2E_SERVER_PIDS+=("$!")
port_answers "$SILENT_PORT" || check "the silent server starts" false
start_nginx good "$TREE" || exit 1
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "https://$HOST:$SILENT_PORT/plain/;https://$HOST:$NGINX_PORT/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "the next mirror served the version file" grep -q 'plain/download/version.txt' "$NGINX_DIR/access.log"
check "the large file came whole" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"

echo "# a first mirror that serves wrong bytes: each file comes from the next one, no box"
cp -r "$TREE/plain" "$TREE/wrong"
# The list is the genuine one; every game file it names holds other bytes of the same size.
find "$TREE/wrong/download/data" -type f -exec "$PYTHON" -c '
import sys
for path in sys.argv[1:]:
    data = bytearray(open(path, "rb").read())
    data[len(data) // 2] ^= 0x01
    open(path, "wb").write(bytes(data))
' {} +
start_nginx good "$TREE" || exit 1
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "https://$HOST:$NGINX_PORT/wrong/;https://$HOST:$NGINX_PORT/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "the wrong mirror was asked for the large file" grep -q 'wrong/download/data/new/c.bin' "$NGINX_DIR/access.log"
check "the next mirror served it" grep -q 'plain/download/data/new/c.bin' "$NGINX_DIR/access.log"
check "the large file came whole" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
check "the changed file came whole" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "no file counted as failed" log_lacks "$dir" "MD5校验失败"

# refused CERT CAFILE WHAT: a server with the certificate CERT is refused by an installation
# checking against CAFILE ("" for the system's roots); nothing of the installation changes.
refused() {
  local cert=$1 ca=$2 what=$3 dir
  start_nginx "$cert" "$TREE" || { check "$what: the server starts" false; return 1; }
  dir=$(synced_install "$E2E_WORK/game-v1")
  point_at_web "$dir" "https://$HOST:$NGINX_PORT/plain/" download/ "$ca"
  listing "$dir" >"$E2E_WORK/before.txt"
  run_bg "$dir" update.exe
  check "$what: the version file is not fetched" log_has "$dir" "$TEXT_FAILED" "$RUN_SECONDS"
  stop_all
  check "$what: the run never got as far as done" log_lacks "$dir" "$TEXT_DONE"
  check "$what: the installation is unchanged" unchanged "$dir" "$E2E_WORK/before.txt"
}

echo "# servers whose certificate does not check out are refused"
refused self-signed "" "self-signed, no pinned CA"
refused good "" "signed by a CA the system does not trust, no pinned CA"
refused wrong-name "$PKI/ca.pem" "another host name, pinned CA"
refused outside "$PKI/ca.pem" "outside the pinned CA"
refused expired "$PKI/ca.pem" "expired, pinned CA"

echo "# a certificate whose revocation list is out of reach is taken, as browsers do"
start_nginx unreachable-list "$TREE" || exit 1
dir=$(synced_install "$E2E_WORK/game-v1")
point_at_web "$dir" "https://$HOST:$NGINX_PORT/plain/" download/ "$PKI/ca.pem"
run_bg "$dir" update.exe
check "revocation list out of reach: the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all

finish
