#!/usr/bin/env bash
# The i686 update.exe with a plug-in built by the other compiler's ABI (msvccfg.dll: thiscall
# members, that compiler's virtual table and export name, no C runtime), as operators build
# theirs: the tool must find the factory, call each operation with the right arguments and
# use its answers. 32-bit only: the 64-bit build cannot load a 32-bit plug-in.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if [ "$KVO_WINE_ARCH" != win32 ]; then
  echo "$(basename "$0"): the plug-in is 32-bit; run with KVO_WINE_ARCH=win32 and the win32 build"
  exit 0
fi
if [ ! -f "$BUILD_WIN/msvccfg.dll" ]; then
  echo "e2e: $BUILD_WIN/msvccfg.dll missing (clang, lld-link and llvm-dlltool; scripts/build.sh win32)" >&2
  exit 1
fi

need_paktool
MSVC_PLUGIN_VERSION=20003  # msvccfg.dll's "platfrom version"
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"
present() { [ -e "$1" ]; }

GAME=$E2E_WORK/game
mkdir -p "$GAME/data"
printf 'alpha' >"$GAME/data/a.txt"

# An installation in dir with msvccfg.dll as its plug-in, served as up to date (the start
# button starts the game only then); msvccfg.dll reads the server from updatecfg.ini.
msvc_install() {
  dir=$(synced_install "$GAME")
  serve_up_to_date "$dir" "$GAME" "$MSVC_PLUGIN_VERSION" || exit 1
  cp "$BUILD_WIN/msvccfg.dll" "$dir/updatecfg.dll"
  cp "$BUILD_WIN/fakegame.exe" "$dir/mainclient.exe"
}

echo "# start-up: Initialize with the command line, GetString's platform name as the title"
msvc_install
log=$E2E_WORK/msvc.log
run_bg "$dir" update.exe -user "a b" 42
watch "$log" window=30
wait_updater_window 30 && log_has "$dir" "$TEXT_UP_TO_DATE" 60
click_button start
watch "$log" box=3 close
check "the factory found and the window shown with GetString's answer" has_text "$log" "[MSVC 插件]"
check "Initialize got the launcher's arguments" has_line "$dir/plugin_calls.txt" 'initialize -user "a b" 42'
check "GetString asked for the platform string" has_line "$dir/plugin_calls.txt" "getstring platfrom string"
echo "# the start-game command: Launch with the numbered copy"
check "Launch got kvo00.exe" has_line "$dir/plugin_calls.txt" "launch kvo00.exe"
check "kvo00.exe is the game" same_file "$dir/mainclient.exe" "$dir/kvo00.exe"
check "no message box" has_line "$log" "box: none"
stop_all

echo "# Initialize answering 0: the tool ends without a window"
msvc_install
touch "$dir/refuse_initialize"
log=$E2E_WORK/msvc-refused.log
run_bg "$dir" update.exe
check "the tool ends by itself" wait_pid "$E2E_LAST_PID" 40
watch "$log" nobox=1 window=1
check "Initialize was called" grep -q '^initialize' "$dir/plugin_calls.txt"
check "no updater window" has_line "$log" "window: none"
check "nothing asked after the refusal" test "$(wc -l < "$dir/plugin_calls.txt")" = 1
stop_all

finish
