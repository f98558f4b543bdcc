#!/usr/bin/env bash
# Signed updates end to end under Wine: update.exe built with the test publisher key
# (BUILD_WIN_SIGNED: scripts/build.sh win64-signed or win32-signed) against a local vsftpd
# serving publications that paktool signed with the matching secret key
# (tests/e2e/signing). A good signed publication updates a v1 installation to v2 and records
# its publication number, and a signed newer tool or plug-in replaces the installed one; a
# tampered update.pak, a tampered new update.exe, a plug-in without a signature, an unsigned
# server and an older publication are each refused with their status line and leave every
# file of the installation as it was. The plug-in, its settings and the test helpers come from
# the unkeyed build in BUILD_WIN. (An unkeyed update.exe updating from an unsigned server is
# online.sh.)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool

SIGNING=$E2E_ROOT/tests/e2e/signing
SECRET=$SIGNING/test-publisher.secret
PUBLIC=$SIGNING/test-publisher.public
BUILD_WIN_SIGNED=${BUILD_WIN_SIGNED:-$(dirname "$(dirname "$BUILD_WIN")")/$KVO_WINE_ARCH-signed/bin}
if [ ! -f "$BUILD_WIN_SIGNED/update.exe" ]; then
  echo "e2e: $BUILD_WIN_SIGNED/update.exe missing (scripts/build.sh $KVO_WINE_ARCH-signed)" >&2
  exit 1
fi

# Status lines of the runs and of the refusals (the name requested, then why).
TEXT_DONE="更新完毕，请点击开始游戏按扭，启动游戏"
TEXT_BAD_DATA="更新相关数据有误"
TEXT_CHECKING_UPDATES="正在检测是否需要更新"
WHY_WRONG_FILE="（文件内容与签名不符）"
WHY_MISSING="（缺少发布者签名）"
TEXT_OLDER_PUBLICATION="更新数据的发布编号低于本机已安装的更新，已拒绝"
RUN_SECONDS=90
# How long a run refused during its self-update check is given to go further (it must not).
SETTLE_SECONDS=3
# The publication number of the good publication; the older one is below it.
NUMBER=5
OLDER_NUMBER=$((NUMBER - 1))

# The game in three versions.
two_game_versions 300000
cp -r "$E2E_WORK/game-v2/." "$E2E_WORK/game-v3/"
printf 'alpha v3' >"$E2E_WORK/game-v3/data/a.txt"

# sign_publish GAMEDIR NAME NUMBER [PUBLISH OPTIONS...]: a publication signed with the test
# key under TREE/NAME/download/ (the plug-in's version is the installed one unless given).
TREE=$E2E_WORK/tree
sign_publish() {
  local game=$1 name=$2 number=$3
  shift 3
  "$PAKTOOL" publish "$game" "$TREE" --dir "$name/download/" --sign "$SECRET" --number "$number" "$@" >/dev/null
}

sign_publish "$E2E_WORK/game-v2" good "$NUMBER" --plugin-version "$PLUGIN_VERSION"
sign_publish "$E2E_WORK/game-v3" older "$OLDER_NUMBER" --plugin-version "$PLUGIN_VERSION"
# An older list beside a version file signed again with the current number.
sign_publish "$E2E_WORK/game-v3" olderlist "$OLDER_NUMBER" --plugin-version "$PLUGIN_VERSION"
"$PAKTOOL" sign "$SECRET" "$TREE/olderlist/download/version.txt" --number "$NUMBER" \
  --name olderlist/download/version.txt >/dev/null
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE" --dir unsigned/download/ --plugin-version "$PLUGIN_VERSION" >/dev/null

# update.pak with one byte flipped after signing.
sign_publish "$E2E_WORK/game-v2" badpak "$NUMBER" --plugin-version "$PLUGIN_VERSION"
"$PYTHON" - "$TREE/badpak/download/update.pak" <<'EOF'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[len(data) // 2] ^= 0x01
open(path, "wb").write(bytes(data))
EOF

# A newer tool and a newer plug-in (each still runs), published signed.
tool_build_of_version "$BUILD_WIN_SIGNED/update.exe" "$E2E_WORK/update-2.24.exe" 224 'tool 2.24'
cp "$BUILD_WIN/updatecfg.dll" "$E2E_WORK/updatecfg-1.01.dll"
printf 'plug-in 1.01' >>"$E2E_WORK/updatecfg-1.01.dll"
sign_publish "$E2E_WORK/game-v2" newtool "$NUMBER" --plugin-version "$PLUGIN_VERSION" \
  --tool-version 224 --tool "$E2E_WORK/update-2.24.exe"
sign_publish "$E2E_WORK/game-v2" newplugin "$NUMBER" --plugin-version 10001 --plugin "$E2E_WORK/updatecfg-1.01.dll"

# The same tool announced by a signed version file, its served bytes not the signed ones.
sign_publish "$E2E_WORK/game-v2" badtool "$NUMBER" --plugin-version "$PLUGIN_VERSION" \
  --tool-version 224 --tool "$E2E_WORK/update-2.24.exe"
printf 'tampered' >>"$TREE/badtool/download/update.exe"

# The same plug-in published with the rest signed, its signature then taken away.
sign_publish "$E2E_WORK/game-v2" noplugsig "$NUMBER" --plugin-version 10001 --plugin "$E2E_WORK/updatecfg-1.01.dll"
rm "$TREE/noplugsig/download/10001_updatecfg.dll.sig"

# The keyed build trusts the public half of the key that signed (else every case below fails
# for that reason alone).
check "the test key pair signs what the keyed build checks" quiet "$PAKTOOL" verify-signature "$PUBLIC" \
  "$TREE/good/download/update.pak" --name good/download/update.pak

start_ftp_server "$TREE" || exit 1

# A v1 installation with the keyed update.exe, pointed at the publication NAME.
signed_v1_install() {
  local dir
  dir=$(synced_install "$E2E_WORK/game-v1")
  cp "$BUILD_WIN_SIGNED/update.exe" "$dir/update.exe"
  point_at_server "$dir" "$FTP_PORT" "$1/download/"
  echo "$dir"
}

echo "# a signed publication updates a v1 installation to v2"
dir=$(signed_v1_install good)
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" "$RUN_SECONDS"
stop_all
check "changed file updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "new file added to patch.dat" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
check "patch.dat verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
check "the publication number is recorded" member_text_is "$dir/patch.dat" publication.num "$NUMBER"
updated=$dir

# replaced NAME FILE NEW: the keyed tool in a v1 installation pointed at the publication
# NAME puts the signed NEW in the place of its FILE (update.exe or updatecfg.dll).
replaced() {
  local name=$1 file=$2 new=$3 dir
  dir=$(signed_v1_install "$name")
  run_bg "$dir" update.exe
  for _ in $(seq $((RUN_SECONDS * 10))); do cmp -s "$dir/$file" "$new" && break; sleep 0.1; done
  check "$file is the server's signed one" cmp -s "$dir/$file" "$new"
  stop_all
}

echo "# a signed newer update.exe and a signed newer plug-in replace the installed ones"
replaced newtool update.exe "$E2E_WORK/update-2.24.exe"
replaced newplugin updatecfg.dll "$E2E_WORK/updatecfg-1.01.dll"

# refused_in DIR WHAT REFUSAL [END]: a run in the installation DIR logs the refusal line and
# then END (the run's end text), or, with no END, goes no further than its self-update check;
# every file of DIR is as before the run.
refused_in() {
  local dir=$1 what=$2 refusal=$3 end=${4:-}
  # The log of an earlier run would answer for this one.
  rm -f "$dir/update_debug.txt"
  listing "$dir" >"$E2E_WORK/before.txt"
  run_bg "$dir" update.exe
  check "$what is refused" log_has "$dir" "$refusal" "$RUN_SECONDS"
  if [ -n "$end" ]; then
    check "the run ends with '$end'" log_has "$dir" "$end" "$RUN_SECONDS"
  else
    sleep "$SETTLE_SECONDS"
    check "the run stops before the update check" log_lacks "$dir" "$TEXT_CHECKING_UPDATES"
  fi
  stop_all
  check "the installation is unchanged" unchanged "$dir" "$E2E_WORK/before.txt"
  check "the done text never shows" log_lacks "$dir" "$TEXT_DONE"
}

# refused NAME WHAT REFUSAL [END]: as refused_in, in a v1 installation pointed at the
# publication NAME.
refused() {
  local name=$1
  shift
  refused_in "$(signed_v1_install "$name")" "$@"
}

echo "# a byte of update.pak flipped after signing"
refused badpak "the tampered update.pak" "更新数据签名无效：badpak/download/update.pak$WHY_WRONG_FILE" "$TEXT_BAD_DATA"

echo "# a newer update.exe whose bytes are not the signed ones"
refused badtool "the tampered update.exe" "新版更新工具签名无效：badtool/download/update.exe$WHY_WRONG_FILE"

echo "# a newer plug-in without a signature"
refused noplugsig "the unsigned plug-in" "新版平台配置文件签名无效：noplugsig/download/10001_updatecfg.dll$WHY_MISSING"

echo "# a server with no signatures at all"
refused unsigned "the unsigned version file" "更新工具版本信息签名无效：unsigned/download/version.txt$WHY_MISSING"

echo "# publications numbered below the one the v2 installation applied"
point_at_server "$updated" "$FTP_PORT" older/download/
refused_in "$updated" "the older version file" "$TEXT_OLDER_PUBLICATION：older/download/version.txt"
point_at_server "$updated" "$FTP_PORT" olderlist/download/
refused_in "$updated" "the older update.pak" "$TEXT_OLDER_PUBLICATION：olderlist/download/update.pak" "$TEXT_BAD_DATA"

finish
