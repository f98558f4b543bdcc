#!/usr/bin/env bash
# Downloads that stop early, end to end under Wine: update.exe against an FTP server that
# counts every byte it sends (tests/e2e/ftp_servers/resume_server.py) and drops the line,
# refuses or fakes REST on cue, and kills of update.exe at random moments of a large update.
# Each case checks that the pack verifies, every file equals the publication, and what the
# server sent in all stays within what the update needed.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool

MIB=1048576
SLACK=65536                      # what one stop may cost: one read in flight
DONE_TEXT="更新完毕，请点击开始游戏按扭，启动游戏"
FAILED_TEXT="个文件下载失败，请重新更新，继续下载剩余的文件"
KILLS=${KVO_RESUME_KILLS:-4}

# ---- the game ----
mkdir -p "$E2E_WORK/game-v1/data" "$E2E_WORK/game-v2/data" "$E2E_WORK/big-v1/data" "$E2E_WORK/big-v2/data/movies"
printf 'alpha v1' >"$E2E_WORK/game-v1/data/a.txt"
cp -r "$E2E_WORK/game-v1/." "$E2E_WORK/game-v2/"
printf 'alpha v2' >"$E2E_WORK/game-v2/data/a.txt"
head -c $((20 * MIB)) /dev/urandom >"$E2E_WORK/game-v2/data/big.bin"
# A 100 MiB update: three pack members and two loose files of 20 MiB.
cp -r "$E2E_WORK/game-v1/." "$E2E_WORK/big-v1/"
cp -r "$E2E_WORK/game-v2/." "$E2E_WORK/big-v2/"
for n in 2 3; do head -c $((20 * MIB)) /dev/urandom >"$E2E_WORK/big-v2/data/more$n.bin"; done
for n in 1 2; do head -c $((20 * MIB)) /dev/urandom >"$E2E_WORK/big-v2/data/movies/m$n.bik"; done
printf 'data/movies/m1.bik\ndata/movies/m2.bik\n' >"$E2E_WORK/big-v2/.unpack"

publish() { "$PAKTOOL" publish "$1" "$2" --plugin-version "$PLUGIN_VERSION" >/dev/null; }
TREE=$E2E_WORK/tree
BIG_TREE=$E2E_WORK/big-tree
publish "$E2E_WORK/game-v2" "$TREE"
publish "$E2E_WORK/big-v2" "$BIG_TREE"

# start_resume_server TREE COUNTFILE [OPTIONS...]: the counting server on RESUME_PORT (a new
# free one when unset); its PID in RESUME_PID.
start_resume_server() {
  local tree=$1 count=$2 out
  shift 2
  RESUME_PORT=${RESUME_PORT:-$(free_port)}
  out=$(mktemp "$E2E_WORK/server.XXXXXX")
  "$PYTHON" "$E2E_ROOT/tests/e2e/ftp_servers/resume_server.py" --root "$tree" --port "$RESUME_PORT" \
    --count "$count" "$@" >"$out" 2>&1 &
  RESUME_PID=$!
  E2E_SERVER_PIDS+=("$RESUME_PID")
  for _ in $(seq 100); do
    grep -q '^listening' "$out" && return 0
    sleep 0.1
  done
  echo "e2e: the resume server did not start ($(cat "$out"))" >&2
  return 1
}
stop_resume_server() { kill "$RESUME_PID" 2>/dev/null; wait "$RESUME_PID" 2>/dev/null; }

# served COUNTFILE [NAME-PART]: bytes the server sent of the files whose path holds NAME-PART
# (default: the game's files under download/data/).
served() {
  "$PYTHON" -c 'import json, sys
sent = json.load(open(sys.argv[1]))
print(sum(n for name, n in sent.items() if sys.argv[2] in name))' "$1" "${2:-/download/data/}"
}
at_most() { [ "$1" -le "$2" ] || { echo "    $1 > $2" >&2; return 1; }; }

# The kept partials and the journal of an installation.
partials_in() { find "$1" -iname 'kvu*.tmp' -type f; }
no_partials() { [ -z "$(partials_in "$1")" ] && [ ! -e "$1/update.partial" ]; }
bytes_kept() { partials_in "$1" | xargs -r stat -c %s | awk '{ t += $1 } END { print t + 0 }'; }

v1_install() {
  local dir
  dir=$(synced_install "$1")
  point_at_server "$dir" "$RESUME_PORT" download/
  echo "$dir"
}

updated_to() {
  local dir=$1 game=$2 f rel
  quiet "$PAKTOOL" verify "$dir/patch.dat" || return 1
  while IFS= read -r f; do
    rel=${f#"$game"/}
    case "$rel" in .unpack) continue ;; data/movies/*) cmp -s "$f" "$dir/$rel" || return 1 ;;
      *) member_is "$dir/patch.dat" "$rel" "$f" || return 1 ;; esac
  done < <(find "$game" -type f)
}

echo "# a line dropped at 12 of 20 MiB and down for the rest of the run: the next run fetches only the rest"
unset RESUME_PORT
start_resume_server "$TREE" "$E2E_WORK/count-drop-1" --drop-after $((12 * MIB)) --drop-name big.bin \
  --down-after-drop || exit 1
dir=$(v1_install "$E2E_WORK/game-v1")
run_bg "$dir" update.exe
check "the first run ends with the file failed" log_has "$dir" "$FAILED_TEXT" 120
stop_all
stop_resume_server
check "the partial and its journal are kept" test -e "$dir/update.partial" -a -n "$(partials_in "$dir")"
kept=$(bytes_kept "$dir")
echo "    kept $kept bytes of $((20 * MIB))"
check "the partial holds what arrived before the drop" at_most $((12 * MIB - SLACK)) "$kept"
start_resume_server "$TREE" "$E2E_WORK/count-drop-2" || exit 1
run_bg "$dir" update.exe
check "the next run ends with the done text" log_has "$dir" "$DONE_TEXT" 120
stop_all
stop_resume_server
sent=$(served "$E2E_WORK/count-drop-2" big.bin)
echo "    the next run was sent $sent bytes of big.bin"
check "the next run is sent at most 8 MiB + 64 KiB of it" at_most "$sent" $((8 * MIB + SLACK))
check "the installation equals v2 and its pack verifies" updated_to "$dir" "$E2E_WORK/game-v2"
check "no partial or journal is left" no_partials "$dir"

echo "# a line dropped within a run: the next attempt continues where the first ended"
unset RESUME_PORT
start_resume_server "$TREE" "$E2E_WORK/count-inrun" --drop-after $((12 * MIB)) --drop-name big.bin || exit 1
dir=$(v1_install "$E2E_WORK/game-v1")
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "$DONE_TEXT" 120
stop_all
stop_resume_server
sent=$(served "$E2E_WORK/count-inrun" big.bin)
echo "    sent $sent bytes of big.bin (20 MiB = $((20 * MIB)))"
check "the file was sent once in all (plus a read in flight)" at_most "$sent" $((20 * MIB + SLACK))
check "the installation equals v2 and its pack verifies" updated_to "$dir" "$E2E_WORK/game-v2"

for mode in no-rest rest-from-zero; do
  echo "# a server that does not resume (--$mode): the file is fetched whole, never spliced"
  unset RESUME_PORT
  start_resume_server "$TREE" "$E2E_WORK/count-$mode" --drop-after $((12 * MIB)) --drop-name big.bin "--$mode" || exit 1
  dir=$(v1_install "$E2E_WORK/game-v1")
  run_bg "$dir" update.exe
  check "the run ends with the done text" log_has "$dir" "$DONE_TEXT" 120
  stop_all
  stop_resume_server
  check "the installation equals v2 and its pack verifies" updated_to "$dir" "$E2E_WORK/game-v2"
  check "no partial or journal is left" no_partials "$dir"
done

echo "# $KILLS kills of update.exe at random moments of a 100 MiB update, then a run to the end"
unset RESUME_PORT
# The server sends at most 8 MiB/s, which the client outpaces: little waits in the network
# buffers, so what the server counts as sent is close to what the client has received.
start_resume_server "$BIG_TREE" "$E2E_WORK/count-kills" --rate $((8 * MIB)) || exit 1
dir=$(v1_install "$E2E_WORK/big-v1")
for k in $(seq "$KILLS"); do
  run_bg "$dir" update.exe
  # Somewhere in the start, the download (about 13 s at the server's rate) or the rebuild.
  sleep "$(awk -v s="$RANDOM" 'BEGIN { srand(s); printf "%.1f", 1 + rand() * 9 }')"
  "$WINESERVER" -k >/dev/null 2>&1
  stop_all
  echo "    kill $k: $(bytes_kept "$dir") bytes kept, $(served "$E2E_WORK/count-kills") sent so far"
  check "after kill $k the pack verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
done
run_bg "$dir" update.exe
check "the last run ends with the done text" log_has "$dir" "$DONE_TEXT" 180
stop_all
stop_resume_server
update_bytes=$((100 * MIB))
sent=$(served "$E2E_WORK/count-kills")
echo "    sent $sent bytes in all for an update of $update_bytes bytes and $KILLS kills"
check "every member and loose file equals v2, the pack verifies" updated_to "$dir" "$E2E_WORK/big-v2"
check "what was sent stays within the update plus 64 KiB per kill" at_most "$sent" $((update_bytes + KILLS * SLACK))
check "no partial or journal is left" no_partials "$dir"

finish
