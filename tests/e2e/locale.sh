#!/usr/bin/env bash
# update.exe on a Windows whose language is not Chinese (PRC): English, ANSI code page 1252.
# Our texts are GBK; each one that reaches a window or a message box must arrive converted,
# in Traditional characters (the tool's own texts on such systems), never as the GBK bytes
# read in code page 1252. The expected texts are written out here by hand, in both forms:
# Windows maps them to Traditional characters; Wine 8 has no such mapping (LCMapStringW
# returns the text as it is), so there they stay Simplified. Either is readable; the bytes
# read in code page 1252 are neither.
export KVO_WINE_LOCALE=C.UTF-8
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"
# A box without caption text gets the system's caption, English here.
BOX_RENAMED=('box: 無法啟動|請不要將Update.exe改名！|icon=1' 'box: 无法启动|请不要将Update.exe改名！|icon=1')
BOX_NO_PLUGIN=('box: Error|未加載平台接口|icon=0' 'box: Error|未加载平台接口|icon=0')
BOX_DATA_ERROR=('box: Error|patch.dat數據錯誤|icon=0' 'box: Error|patch.dat数据错误|icon=0')
LAUNCH_FAILED=('|最終的遊戲啟動過程失敗！|' '|最终的游戏启动过程失败！|')

# has_either_text LOG TRADITIONAL SIMPLIFIED: the log holds one of the two texts.
has_either_text() { has_text "$1" "$2" || has_text "$1" "$3"; }

# has_either LOG TRADITIONAL SIMPLIFIED: the log holds one of the two lines.
has_either() { has_line "$1" "$2" || has_line "$1" "$3"; }

echo "# start-up's own boxes: text and caption"
dir=$(new_install)
mv "$dir/update.exe" "$dir/update2.exe"
log=$E2E_WORK/renamed.log
run_bg "$dir" update2.exe
watch "$log" box=20
check "the rename message converted" has_either "$log" "${BOX_RENAMED[@]}"
stop_all

dir=$(new_install)
rm "$dir/updatecfg.dll"
log=$E2E_WORK/noplugin.log
run_bg "$dir" update.exe
watch "$log" box=30
check "the no-plug-in message converted" has_either "$log" "${BOX_NO_PLUGIN[@]}"
stop_all

echo "# the window: title from the plug-in, and boxes raised by the engine and the window"
# An up-to-date installation without the game executable: the start button's launch fails.
GAME=$E2E_WORK/game
mkdir -p "$GAME/data"
printf 'alpha' >"$GAME/data/a.txt"
dir=$(synced_install "$GAME")
serve_up_to_date "$dir" "$GAME" || exit 1
log=$E2E_WORK/window.log
run_bg "$dir" update.exe
watch "$log" window=30
check "the platform string in the title" has_either_text "$log" "[本地測試]" "[本地测试]"
wait_updater_window 30 && log_has "$dir" "$TEXT_UP_TO_DATE" 60
click_button start
watch "$log" box=10 box=10
check "the game launch's data error message converted" has_either "$log" "${BOX_DATA_ERROR[@]}"
check "the window's launch failure message converted" has_either_text "$log" "${LAUNCH_FAILED[@]}"
stop_all

finish
