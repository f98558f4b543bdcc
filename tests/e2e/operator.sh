#!/usr/bin/env bash
# A new operator's first publication, done as the README says with every default: publish
# the game, make a first installation with paktool sync, put the release's update.exe,
# updatecfg.dll and the sample updatecfg.ini beside it, publish the next version into the
# same tree and serve it over FTP. The player's start must bring the installation to the
# next version, leaving the shipped plug-in in place, and the next start must find it up to
# date. Only the FTP port of the sample settings is changed (the test server cannot take 21).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool
two_game_versions 20000
cd "$E2E_WORK" || exit 1

echo "# the README's steps: publish, first installation, next publication"
check "publish v1 with the defaults" quiet "$PAKTOOL" publish game-v1/ srv/
mkdir install
check "the first installation is synced" quiet "$PAKTOOL" sync srv/ install/ --yes
cp "$BUILD_WIN/update.exe" "$BUILD_WIN/updatecfg.dll" "$BUILD_WIN/updatecfg.ini" install/
check "publish v2 with the defaults" quiet "$PAKTOOL" publish game-v2/ srv/
start_ftp_server "$E2E_WORK/srv" || exit 1
sed -i -e "s|^ftp port = .*|ftp port = $FTP_PORT|" install/updatecfg.ini
DIR=$E2E_WORK/install
cp "$DIR/updatecfg.dll" "$E2E_WORK/shipped-updatecfg.dll"

echo "# the player starts update.exe"
run_bg "$DIR" update.exe
check "the run ends with the done text" log_has "$DIR" "更新完毕，请点击开始游戏按扭，启动游戏" 90
check "no update information failure" log_lacks "$DIR" "获取更新信息失败"
check "no plug-in download was started" log_lacks "$DIR" "最新的平台配置文件版本为"
check "the shipped plug-in stays" cmp -s "$DIR/updatecfg.dll" "$E2E_WORK/shipped-updatecfg.dll"
check "changed file updated in patch.dat" member_is "$DIR/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "new file added to patch.dat" member_is "$DIR/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
stop_all

echo "# the next start finds it up to date"
run_bg "$DIR" update.exe
check "the up-to-date text is shown" log_has "$DIR" "已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏" 60
stop_all

finish
