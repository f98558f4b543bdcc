#!/usr/bin/env bash
# Delta updates end to end under Wine: a v1 installation updates to v2 from a publication
# made with paktool publish --delta-from, taking the changed member through its patch (the
# whole file is taken off the server, so only the patch can bring it); the keyed update.exe
# (BUILD_WIN_SIGNED) does the same from a signed publication; an installation whose member
# is not what the patch was made against, and a patch damaged on the server, fall back to
# the whole file. Every run must end with the pack holding v2's content. A delta offline
# package (paktool olp --delta-from), chosen in the window of a v1 installation, brings v2
# with big.bin made from its patch: the package holds no whole big.bin.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool

SIGNING=$E2E_ROOT/tests/e2e/signing
SECRET=$SIGNING/test-publisher.secret
BUILD_WIN_SIGNED=${BUILD_WIN_SIGNED:-$(dirname "$(dirname "$BUILD_WIN")")/$KVO_WINE_ARCH-signed/bin}
TEXT_DONE="更新完毕，请点击开始游戏按扭，启动游戏"
RUN_SECONDS=90

# The game in two versions: big.bin changes in a few bytes (a patch of a few hundred bytes),
# a.txt is small and fetched whole.
mkdir -p "$E2E_WORK/game-v1/data"
printf 'alpha v1' >"$E2E_WORK/game-v1/data/a.txt"
head -c 400000 /dev/urandom >"$E2E_WORK/game-v1/data/big.bin"
cp -r "$E2E_WORK/game-v1/." "$E2E_WORK/game-v2/"
printf 'alpha v2' >"$E2E_WORK/game-v2/data/a.txt"
printf 'HOTFIX' | dd of="$E2E_WORK/game-v2/data/big.bin" bs=1 seek=200000 conv=notrunc status=none
# An installation whose big.bin is neither v1's nor v2's: no patch applies to it.
cp -r "$E2E_WORK/game-v1/." "$E2E_WORK/game-v1-other/"
printf 'LOCAL!' | dd of="$E2E_WORK/game-v1-other/data/big.bin" bs=1 seek=100 conv=notrunc status=none

# Each publication is served from its own root by its own vsftpd, as "download/".
declare -A PORT
publish() {  # publish NAME OPTIONS...: v2 with deltas against v1 into $E2E_WORK/NAME
  local name=$1
  shift
  "$PAKTOOL" publish "$E2E_WORK/game-v2" "$E2E_WORK/$name" --plugin-version "$PLUGIN_VERSION" \
    --delta-from "$E2E_WORK/game-v1" "$@" >/dev/null
}
serve() { start_ftp_server "$E2E_WORK/$1" && PORT[$1]=$FTP_PORT; }
# The only patch of a publication.
patch_of() { find "$E2E_WORK/$1/download/delta" -type f ! -name '*.sig' | head -n 1; }

publish deltas-only
rm "$E2E_WORK/deltas-only/download/data/big.bin"
publish whole
publish damaged
patch=$(patch_of damaged)
printf 'X' | dd of="$patch" bs=1 seek=$(($(stat -c %s "$patch") / 2)) conv=notrunc status=none
publish signed --sign "$SECRET" --number 3
rm "$E2E_WORK/signed/download/data/big.bin"
for tree in deltas-only whole damaged signed; do serve "$tree" || exit 1; done

# run_case WHAT PUBLICATION GAMEDIR [UPDATE_EXE_DIR]: a GAMEDIR installation updated from
# PUBLICATION must end done with v2's members in its pack.
run_case() {
  local what=$1 publication=$2 game=$3 exe_dir=${4:-}
  local dir
  echo "# $what"
  dir=$(synced_install "$E2E_WORK/$game")
  [ -n "$exe_dir" ] && cp "$exe_dir/update.exe" "$dir/update.exe"
  point_at_server "$dir" "${PORT[$publication]}" download/
  run_bg "$dir" update.exe
  # The last lines of the run's log go with a failure, to show where it stopped.
  log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS" ||
    iconv -f GBK -t UTF-8 "$dir/update_debug.txt" 2>/dev/null | tail -n 40 | sed 's/^/    log: /'
  check "$what: the run ends with the done text" log_has "$dir" "$TEXT_DONE" 1
  check "$what: big.bin is v2's" member_is "$dir/patch.dat" data/big.bin "$E2E_WORK/game-v2/data/big.bin"
  check "$what: a.txt is v2's" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
  check "$what: patch.dat verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
  stop_all
}

run_case "v1 to v2 through the patch (no whole file on the server)" deltas-only game-v1
run_case "an installed member the patch was not made for takes the whole file" whole game-v1-other
run_case "a patch failing its MD5 falls back to the whole file" damaged game-v1
if [ -f "$BUILD_WIN_SIGNED/update.exe" ]; then
  run_case "the keyed build takes the patch of a signed list" signed game-v1 "$BUILD_WIN_SIGNED"
else
  echo "FAIL - $BUILD_WIN_SIGNED/update.exe missing (scripts/build.sh $KVO_WINE_ARCH-signed)"
  E2E_FAILURES=$((E2E_FAILURES + 1))
fi

echo "# a delta offline package chosen in the window brings a v1 installation to v2"
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"
TEXT_APPLIED="已经成功应用更新包，请重新更新，继续下载剩余的文件！"
"$PAKTOOL" olp "$E2E_WORK/game-v2" "$E2E_WORK/delta.olp" --delta-from "$E2E_WORK/game-v1" >/dev/null
lacks_member() { ! quiet "$PAKTOOL" extract "$1" "$2" "$E2E_WORK/whole.out"; }
check "the package has no whole big.bin" lacks_member "$E2E_WORK/delta.olp" data/big.bin
dir=$(synced_install "$E2E_WORK/game-v1")
serve_up_to_date "$dir" "$E2E_WORK/game-v1"
run_bg "$dir" update.exe
wait_updater_window 60
check "the run first finds v1 up to date" log_has "$dir" "$TEXT_UP_TO_DATE" 60
click_button offline
if wait_file_dialog 30; then
  type_into_file_dialog "$(winpath "$E2E_WORK/delta.olp")"
fi
check "the package is applied" log_has "$dir" "$TEXT_APPLIED" 60
check "big.bin is v2's" member_is "$dir/patch.dat" data/big.bin "$E2E_WORK/game-v2/data/big.bin"
check "a.txt is v2's" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "patch.dat verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
stop_all

finish
