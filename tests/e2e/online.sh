#!/usr/bin/env bash
# The online update end to end under Wine: update.exe in a v1 installation whose plug-in
# names a local vsftpd brings itself to v2 with no help, is then up to date, and replaces
# itself and its plug-in when the server announces newer ones; with the server down or
# without its version file it names why and offers the game of a whole installation.
# paktool (host build) publishes the server trees and makes the v1 installation.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

need_paktool

# no_temporary_files DIR: no download is left under the temporary names the tool makes
# (kvu*.tmp, made by the system beside the file they replace).
no_temporary_files() {
  [ -z "$(find "$1" -maxdepth 1 -iname 'kvu*.tmp' -print -quit)" ]
}

# cached_download_bytes: bytes of files in the Wine user's Internet cache, where WinINet keeps
# a copy of every download unless told not to; the tool's downloads must leave none there.
cached_download_bytes() {
  find "$WINEPREFIX/drive_c/users" -ipath '*inetcache*' -type f ! -name index.dat -size +1k -printf '%s\n' 2>/dev/null |
    awk '{ total += $1 } END { print total + 0 }'
}
# Other programs in the same prefix (the bare WinINet benchmark) may have filled it before.
CACHE_BYTES_BEFORE=$(cached_download_bytes)
no_download_in_cache() { [ "$(cached_download_bytes)" -eq "$CACHE_BYTES_BEFORE" ]; }

# The game in two versions.
two_game_versions 300000

# The served tree: v2 with the installed plug-in's version, and a newer tool beside it.
TREE=$E2E_WORK/tree
tool_build_of_version "$BUILD_WIN/update.exe" "$E2E_WORK/update-2.24.exe" 224 'tool 2.24'
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE" --plugin-version 10000 >/dev/null
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE/newtool" --dir download/ --tool-version 224 \
  --tool "$E2E_WORK/update-2.24.exe" --plugin-version 10000 >/dev/null
cp "$BUILD_WIN/updatecfg.dll" "$E2E_WORK/updatecfg-1.01.dll"
printf 'plug-in 1.01' >>"$E2E_WORK/updatecfg-1.01.dll"
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE/plugin" --plugin-version 10001 --plugin "$E2E_WORK/updatecfg-1.01.dll" >/dev/null
# An operator's slip: the version file announces 2.25, the published tool is a 2.23 build
# (paktool refuses to write that, so the version file is edited by hand, as a slip would be).
cp "$BUILD_WIN/update.exe" "$E2E_WORK/update-slip.exe"
printf 'tool 2.23 announced as 2.25' >>"$E2E_WORK/update-slip.exe"
"$PAKTOOL" publish "$E2E_WORK/game-v2" "$TREE/slip" --dir download/ --tool-version 223 \
  --tool "$E2E_WORK/update-slip.exe" --plugin-version 10000 >/dev/null
printf '225\r\n10000\r\n' >"$TREE/slip/download/version.txt"
start_ftp_server "$TREE" || exit 1
PORT=$FTP_PORT

# A v1 installation whose plug-in settings point at the local server; DIR is the server
# directory of the publication to use.
v1_install() {
  local dir
  dir=$(synced_install "$E2E_WORK/game-v1")
  point_at_server "$dir" "$PORT" "$1"
  echo "$dir"
}

echo "# a v1 installation updates itself to v2 from the server"
dir=$(v1_install download/)
run_bg "$dir" update.exe
check "the run ends with the done text" log_has "$dir" "更新完毕，请点击开始游戏按扭，启动游戏" 90
check "changed file updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
check "new file added to patch.dat" member_is "$dir/patch.dat" data/new/c.bin "$E2E_WORK/game-v2/data/new/c.bin"
check "unchanged file still in patch.dat" member_is "$dir/patch.dat" data/b.bin "$E2E_WORK/game-v1/data/b.bin"
check "patch.dat verifies" quiet "$PAKTOOL" verify "$dir/patch.dat"
check "the driver's stages were logged" log_has "$dir" "正在检测是否需要更新" 1
stop_all
check "no download was copied into the Internet cache" no_download_in_cache

echo "# the next start finds it up to date"
run_bg "$dir" update.exe
check "the up-to-date text is shown" log_has "$dir" "已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏" 60
stop_all

echo "# a newer tool on the server replaces update.exe, then the tool restarts"
dir=$(v1_install newtool/download/)
run_bg "$dir" update.exe
check "the new tool is announced" log_has "$dir" "最新的更新工具版本为2.24！开始下载！" 60
for _ in $(seq 300); do cmp -s "$dir/update.exe" "$E2E_WORK/update-2.24.exe" && break; sleep 0.1; done
check "update.exe is the server's tool" cmp -s "$dir/update.exe" "$E2E_WORK/update-2.24.exe"
check "no temporary download left" no_temporary_files "$dir"
# The restarted launcher copies the new tool to update.dat.
for _ in $(seq 300); do cmp -s "$dir/update.dat" "$E2E_WORK/update-2.24.exe" && break; sleep 0.1; done
check "the tool restarted through its launcher" cmp -s "$dir/update.dat" "$E2E_WORK/update-2.24.exe"
stop_all

echo "# a newer plug-in replaces the loaded updatecfg.dll, then the tool restarts"
dir=$(v1_install plugin/download/)
run_bg "$dir" update.exe
for _ in $(seq 600); do cmp -s "$dir/updatecfg.dll" "$E2E_WORK/updatecfg-1.01.dll" && break; sleep 0.1; done
check "updatecfg.dll is the server's plug-in" cmp -s "$dir/updatecfg.dll" "$E2E_WORK/updatecfg-1.01.dll"
check "no temporary download left" no_temporary_files "$dir"
# The restarted launcher refreshes its spare copy from the new plug-in.
for _ in $(seq 300); do cmp -s "$dir/updatecfg.dat" "$E2E_WORK/updatecfg-1.01.dll" && break; sleep 0.1; done
check "the tool restarted through its launcher" cmp -s "$dir/updatecfg.dat" "$E2E_WORK/updatecfg-1.01.dll"
stop_all

echo "# a tool older than announced is fetched once; the restarted tool goes on with the update"
dir=$(v1_install slip/download/)
run_bg "$dir" update.exe
check "the restarted tool says it does not fetch itself again" \
  log_has "$dir" "更新工具重新启动后仍低于服务器公布的版本2.25，本次不再下载，继续更新" 90
check "the restarted run ends with the done text" log_has "$dir" "更新完毕，请点击开始游戏按扭，启动游戏" 90
check "update.exe is the published tool" cmp -s "$dir/update.exe" "$E2E_WORK/update-slip.exe"
check "changed file updated in patch.dat" member_is "$dir/patch.dat" data/a.txt "$E2E_WORK/game-v2/data/a.txt"
stop_all

echo "# with the server down or its version file missing, a whole installation offers the game"
cp -r "$E2E_WORK/game-v1" "$E2E_WORK/game-v1-client"
printf 'MZ game client v1' >"$E2E_WORK/game-v1-client/mainclient.exe"
dir=$(synced_install "$E2E_WORK/game-v1-client")
point_at_server "$dir" "$(free_port)" download/
run_bg "$dir" update.exe
check "the cause leads the result, then the offer of the game" \
  log_has "$dir" "服务器拒绝连接，获取更新信息失败，无法检查更新，可开始游戏" 90
check "the client's own words are in the debug log" log_has "$dir" "服务器拒绝连接 (WinINet 12029" 1
stop_all
point_at_server "$dir" "$PORT" nothing-here/
run_bg "$dir" update.exe
check "a missing version file is named" \
  log_has "$dir" "服务器上没有该文件，获取更新信息失败，无法检查更新，可开始游戏" 90
stop_all

finish
