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

START_GAME=101
# A box without caption text gets the system's caption, English here.
BOX_RENAMED=('box: 無法啟動|請不要將Update.exe改名！|icon=1' 'box: 无法启动|请不要将Update.exe改名！|icon=1')
BOX_NO_PLUGIN=('box: Error|未加載平台接口|icon=0' 'box: Error|未加载平台接口|icon=0')
BOX_DATA_ERROR=('box: Error|patch.dat數據錯誤|icon=0' 'box: Error|patch.dat数据错误|icon=0')

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

echo "# the window: title from the plug-in, button text, and a box raised by the engine"
dir=$(new_install)
printf 'not a pack' > "$dir/patch.dat"
log=$E2E_WORK/window.log
run_bg "$dir" update.exe
watch "$log" window=30 text=$START_GAME click=$START_GAME box=10 close
check "the platform string as title" has_either "$log" "window: 本地測試" "window: 本地测试"
check "the start-game button" has_either "$log" "text: 開始遊戲" "text: 开始游戏"
check "the game launch's data error message converted" has_either "$log" "${BOX_DATA_ERROR[@]}"
stop_all

finish
