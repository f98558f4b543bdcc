#!/usr/bin/env bash
# The updater's skinned window under Wine, used as a person uses it: clicks on its painted
# buttons and keys through the X display (xdotool), its message boxes read and pressed by
# boxwatch, and screenshots read against the skin's bitmaps. Local vsftpd servers publish a
# game in two versions, one at full speed and one slow enough to act during a download.
# Screenshots are kept in ${KVO_ARTEFACTS:-BUILD_ROOT/artefacts}/window-ARCH-*.png.
unset DISPLAY  # our own screen, with a white desktop (black is the default: too common)
export E2E_XVFB_OPTIONS=-wr
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
need_paktool

SKIN=$E2E_ROOT/res/skin
SKINCHECK=$E2E_ROOT/tests/e2e/skincheck.py
ARTEFACTS=${KVO_ARTEFACTS:-$(cd "$BUILD_WIN/../.." && pwd)/artefacts}
mkdir -p "$ARTEFACTS"
DESKTOP=FFFFFF

SLOW_RATE=400000     # bytes a second on the slow server
BIG_FILE_BYTES=6000000
TEXT_DONE="更新完毕，请点击开始游戏按扭，启动游戏"
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"
TEXT_KEPT="更新已经中断，请重新更新，继续下载剩余的文件！"
TEXT_APPLIED="已经成功应用更新包，请重新更新，继续下载剩余的文件！"
TEXT_ONE_FAILED="下载过程中有1个文件下载失败，请重新更新，继续下载剩余的文件！"
TEXT_RUN_STARTS="正在检测是否需要更新"
TEXT_NO_INFO="获取更新信息失败"
TEXT_TOOL_CHECK="正在检测更新工具版本"
BOX_STOP_CAPTION="box: 更新操作正在进行中，请选择你所希望的中断方式|"
BOX_SWITCH_QUESTION="注意当前是--[[800]]--版本,你确定要切换到--[[1024]]--版本吗?"
BOX_SWITCH_DONE="|切换完成,当前客户端会关闭,请重新启动客服端|"
BOX_CLASSIC="|切换失败!经典版不能进行切换|"
BIG_NAME=data/zz.bin   # downloaded last: the manifest lists names in ascending order

# ---- the game, its publications and servers ----
GAME1=$E2E_WORK/game-v1
GAME2=$E2E_WORK/game-v2
mkdir -p "$GAME1/data" "$GAME2/data"
printf 'alpha v1' >"$GAME1/data/a.txt"
cp "$BUILD_WIN/fakegame.exe" "$GAME1/mainclient.exe"
cp -r "$GAME1/." "$GAME2/"
printf 'alpha v2' >"$GAME2/data/a.txt"
for n in 1 2 3; do head -c 40000 /dev/urandom >"$GAME2/data/b$n.bin"; done
head -c "$BIG_FILE_BYTES" /dev/urandom >"$GAME2/$BIG_NAME"

publish() {  # publish GAMEDIR TREE
  "$PAKTOOL" publish "$1" "$2" --plugin-version "$PLUGIN_VERSION" >/dev/null || { echo "e2e: publish $1 failed" >&2; exit 1; }
}
TREE_FAST=$E2E_WORK/tree-fast
TREE_SLOW=$E2E_WORK/tree-slow
TREE_HOLE=$E2E_WORK/tree-hole
publish "$GAME2" "$TREE_FAST"
publish "$GAME2" "$TREE_SLOW"
publish "$GAME2" "$TREE_HOLE"
rm "$TREE_HOLE/download/data/b2.bin"   # listed in the manifest, missing on the server
start_ftp_server "$TREE_FAST" || exit 1
PORT_FAST=$FTP_PORT
start_ftp_server "$TREE_SLOW" "$SLOW_RATE" || exit 1
PORT_SLOW=$FTP_PORT
start_ftp_server "$TREE_HOLE" || exit 1
PORT_HOLE=$FTP_PORT

# v1_install PORT: a v1 installation whose plug-in names the server on PORT.
v1_install() {
  local dir
  dir=$(synced_install "$GAME1")
  point_at_server "$dir" "$1" download/
  echo "$dir"
}

# ---- screenshots ----

# shoot NAME: a screenshot of the screen in SHOT; the window's part is kept as an artefact.
shoot() {
  SHOT=$E2E_WORK/shot-$1.png
  xdotool mousemove --sync 0 0
  sleep 0.3  # one skin refresh after the pointer left
  /usr/bin/import -display "$DISPLAY" -window root "$SHOT"
  local kept=$ARTEFACTS/window-$KVO_WINE_ARCH-$1.png
  /usr/bin/convert "$SHOT" -crop "800x600+$UPDATER_X+$UPDATER_Y" +repage "$kept"
  echo "     screenshot: $kept"
}
start_shows() { [ "$("$PYTHON" "$SKINCHECK" start "$SHOT" "$UPDATER_X" "$UPDATER_Y" "$SKIN")" = "$1" ]; }
bar_shows() { [ "$("$PYTHON" "$SKINCHECK" bar "$SHOT" "$UPDATER_X" "$UPDATER_Y" "$SKIN" "$1")" = "$2" ]; }
desktop_at() {
  [ "$("$PYTHON" "$SKINCHECK" pixel "$SHOT" $((UPDATER_X + $1)) $((UPDATER_Y + $2)))" = "$DESKTOP" ]
}

# ---- running the tool ----

# start_updater DIR: starts update.exe in DIR and waits for its window.
start_updater() {
  run_bg "$1" update.exe
  UPDATER_PID=$E2E_LAST_PID
  wait_updater_window 60
}

# downloading_last DIR: the run has finished at least one download and fetches the big
# file (the driver names each file as it begins it).
downloading_last() { log_has "$1" "$BIG_NAME" 90 && sleep 1; }

box_log() { BOXLOG=$E2E_WORK/boxes-$1.log; : >"$BOXLOG"; }

echo "# the first run brings a v1 installation up to date; start then runs the game"
dir=$(v1_install "$PORT_FAST")
start_updater "$dir"
check "the window opens" test -n "${UPDATER_WID:-}"
check "the run ends with the done text" log_has "$dir" "$TEXT_DONE" 90
check "the changed file is updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$GAME2/data/a.txt"
check "the new files are added to patch.dat" member_is "$dir/patch.dat" "$BIG_NAME" "$GAME2/$BIG_NAME"
shoot done
check "outside the outline the desktop shows" desktop_at 0 0
check "the start button shows its normal image" start_shows start
check "the bar is full" bar_shows 445 fill
click_button start
check "the window goes after start" updater_window_gone 20
check "the process ends" wait_pid "$UPDATER_PID" 20
check "kvo00.exe is written out of patch.dat" same_file "$GAME2/mainclient.exe" "$dir/kvo00.exe"
for _ in $(seq 100); do [ -s "$dir/game_ran.txt" ] && break; sleep 0.1; done
check "the plug-in's Launch started kvo00.exe" has_line "$dir/game_ran.txt" "kvo00.exe"
stop_all

echo "# Esc during a download asks how to stop; Cancel lets the run go on"
dir=$(v1_install "$PORT_SLOW")
start_updater "$dir"
check "a download is under way" downloading_last "$dir"
shoot downloading
check "the start button is unavailable during the run" start_shows start_unavailable
check "the bar's right end is still trough" bar_shows 440 trough
box_log cancel
press_escape
watch "$BOXLOG" box=10:cancel
check "the three-way prompt is shown" has_text "$BOXLOG" "$BOX_STOP_CAPTION"
check "the run goes on to its end" log_has "$dir" "$TEXT_DONE" 90
check "no interruption text" log_lacks "$dir" "更新已经中断"
stop_all

echo "# Esc, then Yes: the run stops keeping its data and the window stays"
dir=$(v1_install "$PORT_SLOW")
start_updater "$dir"
check "a download is under way" downloading_last "$dir"
box_log keep
press_escape
watch "$BOXLOG" box=10:yes
check "the three-way prompt is shown" has_text "$BOXLOG" "$BOX_STOP_CAPTION"
check "the kept-data notice is shown" log_has "$dir" "$TEXT_KEPT" 30
check "the window stays" wait_updater_window 2
check "the finished files are kept" member_is "$dir/patch.dat" data/b1.bin "$GAME2/data/b1.bin"
shoot interrupted
check "the start button offers to update again" start_shows start_retry
stop_all

echo "# Esc, then No, in the first run: the run discards and the window closes"
dir=$(v1_install "$PORT_SLOW")
start_updater "$dir"
check "a download is under way" downloading_last "$dir"
box_log discard
press_escape
watch "$BOXLOG" box=10:no
check "the three-way prompt is shown" has_text "$BOXLOG" "$BOX_STOP_CAPTION"
check "the window closes" updater_window_gone 30
check "the process ends" wait_pid "$UPDATER_PID" 20
check "no kept-data notice" log_lacks "$dir" "$TEXT_KEPT"
stop_all

echo "# the close button during a download ends the program without a prompt"
dir=$(v1_install "$PORT_SLOW")
start_updater "$dir"
check "a download is under way" downloading_last "$dir"
box_log close
click_button close
watch "$BOXLOG" nobox=2
check "no prompt" has_line "$BOXLOG" "nobox"
check "the window closes" updater_window_gone 20
# The run is stopped and waited for (a few seconds at most) before the process ends.
check "the process ends" wait_pid "$UPDATER_PID" 10
check "the installation still holds v1 whole" member_is "$dir/patch.dat" data/a.txt "$GAME1/data/a.txt"
stop_all

echo "# an offline package chosen during a download stops the run and is applied"
OFFLINE=$E2E_WORK/offline
mkdir -p "$OFFLINE/data"
printf 'from the package' >"$OFFLINE/data/offline.txt"
"$PAKTOOL" olp "$OFFLINE" "$E2E_WORK/package.olp" --platform "$(gbk 本地测试)" >/dev/null
dir=$(v1_install "$PORT_SLOW")
start_updater "$dir"
check "a download is under way" downloading_last "$dir"
click_button offline
if wait_file_dialog 30; then
  type_into_file_dialog "$(winpath "$E2E_WORK/package.olp")"
fi
check "the package is applied" log_has "$dir" "$TEXT_APPLIED" 60
check "the package's file is in patch.dat" member_is "$dir/patch.dat" data/offline.txt "$OFFLINE/data/offline.txt"
check "no interruption text in between" log_lacks "$dir" "更新已经中断"
check "the window stays" wait_updater_window 2
stop_all

echo "# the edition switch: an 800 installation becomes 1024 and the tool ends"
dir=$(synced_install "$GAME2")
serve_up_to_date "$dir" "$GAME2"
start_updater "$dir"
check "the run finds it up to date" log_has "$dir" "$TEXT_UP_TO_DATE" 60
box_log switch
click_button edition
watch "$BOXLOG" box=10:yes box=20
check "the switch is asked with both editions" has_text "$BOXLOG" "$BOX_SWITCH_QUESTION"
check "the switch is reported done" has_text "$BOXLOG" "$BOX_SWITCH_DONE"
check "the process ends" wait_pid "$UPDATER_PID" 20
check "curver.dat in patch.dat is Vela1024" member_text_is "$dir/patch.dat" curver.dat Vela1024
stop_all

echo "# the system menu's repair item fetches a damaged member again"
dir=$(v1_install "$PORT_FAST")
start_updater "$dir"
check "the first run ends with the done text" log_has "$dir" "$TEXT_DONE" 90
printf 'damaged by a disk error' >"$E2E_WORK/damaged.txt"
"$PAKTOOL" add "$dir/patch.dat" data/a.txt "$E2E_WORK/damaged.txt" >/dev/null
box_log repair
# The repair item of the system menu (its command, 32).
watch "$BOXLOG" syscommand=32
check "the command reaches the window" test ! -s "$BOXLOG"
check "the repair names the damaged file" log_has "$dir" "文件[data/a.txt]已损坏或缺失，重新下载" 60
repaired() { for _ in $(seq 300); do member_is "$dir/patch.dat" data/a.txt "$GAME2/data/a.txt" && return 0; sleep 0.2; done; return 1; }
check "the damaged member is fetched again" repaired
stop_all

echo "# the edition switch refuses a classic installation"
dir=$(synced_install "$GAME2")
printf 'x%s' "$(gbk 经典)" >"$E2E_WORK/classic.dat"
"$PAKTOOL" add "$dir/patch.dat" curver.dat "$E2E_WORK/classic.dat" >/dev/null
start_updater "$dir"
box_log classic
click_button edition
watch "$BOXLOG" box=20
check "the refusal is shown" has_text "$BOXLOG" "$BOX_CLASSIC"
check "the window stays" wait_updater_window 2
check "curver.dat is unchanged" member_is "$dir/patch.dat" curver.dat "$E2E_WORK/classic.dat"
stop_all

echo "# after a run with a failed file the start button starts a new run"
dir=$(v1_install "$PORT_HOLE")
start_updater "$dir"
check "the run reports the failed file" log_has "$dir" "$TEXT_ONE_FAILED" 120
shoot failed
check "the start button offers to update again" start_shows start_retry
check "the bar is full" bar_shows 445 fill
click_button start
for _ in $(seq 300); do [ "$(log_lines "$dir" "$TEXT_RUN_STARTS")" -ge 2 ] && break; sleep 0.1; done
check "a second run starts" test "$(log_lines "$dir" "$TEXT_RUN_STARTS")" -ge 2
check "no game is started" test ! -e "$dir/kvo00.exe"
stop_all

echo "# after a run that reached no server a whole installation offers the game; No starts a new run"
dir=$(v1_install "$(free_port)")   # nothing listens there
start_updater "$dir"
check "the run reports it found no update information" log_has "$dir" "$TEXT_NO_INFO" 120
shoot no-server
check "the start button offers the game" start_shows start
box_log no-server
click_button start
watch "$BOXLOG" box=10:no
check "the start button asks whether to play or update" grep -q '^box:' "$BOXLOG"
# A run without a server never gets to the update list: the tool check is its first step.
for _ in $(seq 300); do [ "$(log_lines "$dir" "$TEXT_TOOL_CHECK")" -ge 2 ] && break; sleep 0.1; done
check "a second run starts" test "$(log_lines "$dir" "$TEXT_TOOL_CHECK")" -ge 2
check "no game is started" test ! -e "$dir/kvo00.exe"
stop_all

finish
