#!/usr/bin/env bash
# update.exe start-up, observed from outside under Wine: the launcher's copies and the
# updater it starts, a delivered build, the single-instance wait, a renamed executable,
# plug-in failures and curver.dat. A box shown without caption text gets the system's
# caption "错误" (Error).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

BOX_ALREADY_RUNNING='box: 错误|当前系统中还有“更新工具”正在运行，请先关闭！！！|icon=1'
BOX_RENAMED='box: 无法启动|请不要将Update.exe改名！|icon=1'
BOX_NO_PLUGIN='box: 错误|未加载平台接口|icon=0'

same_file() { cmp -s "$1" "$2"; }
missing() { [ ! -e "$1" ]; }
present() { [ -e "$1" ]; }

# Installs the recording stand-in plug-in as updatecfg.dll.
use_recording_plugin() { cp "$BUILD_WIN/recordcfg.dll" "$1/updatecfg.dll"; }

echo "# launcher copies itself and the plug-in, the updater gets the same arguments"
dir=$(new_install)
use_recording_plugin "$dir"
printf 'a line from an earlier run\r\n' > "$dir/update_debug.txt"
printf 'download' > "$dir/curver.dat"
log=$E2E_WORK/launcher.log
run_bg "$dir" update.exe -user "a b" 42
watch "$log" window=30
check "updater window shows the plug-in's platform string" has_text "$log" "[recording]"
check "update.dat is a copy of update.exe" same_file "$dir/update.exe" "$dir/update.dat"
check "updatecfg.dat is a copy of updatecfg.dll" same_file "$dir/updatecfg.dll" "$dir/updatecfg.dat"
check "plug-in initialised with the launcher's arguments" has_line "$dir/plugin_calls.txt" 'initialize -user "a b" 42'
check "debug log started afresh" lacks_line_starting "$dir/update_debug.txt" "a line from an earlier run"
check "curver.dat holding \"download\" consumed" missing "$dir/curver.dat"

echo "# a second copy waits 5 s for the lock, says so and touches nothing"
cp -p "$dir/update.dat" "$E2E_WORK/update.dat.before"
touch -d '2001-01-01' "$dir/update.dat" "$dir/updatecfg.dat"
stamp_before=$(stat -c %Y "$dir/update.dat" "$dir/updatecfg.dat")
start=$(date +%s%N)
run_bg "$dir" update.exe
second=$E2E_LAST_PID
watch "$log" box=30
waited_ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "the running-instance message is shown" has_line "$log" "$BOX_ALREADY_RUNNING"
check "the message came after the 5 s wait (${waited_ms} ms)" test "$waited_ms" -ge 4500
check "the second copy ends" wait_pid "$second" 20
check "update.dat and updatecfg.dat untouched" test "$(stat -c %Y "$dir/update.dat" "$dir/updatecfg.dat")" = "$stamp_before"
watch "$log" window=5
check "the first updater still runs" grep -qF "[recording]" <(tail -1 "$log")
watch "$log" close
check "the updater window closes on Esc" has_line "$log" "closed"
stop_all

echo "# newuper.exe installs itself as update.exe"
dir=$(new_install)
rm "$dir/update.exe"
cp "$BUILD_WIN/update.exe" "$dir/newuper.exe"
printf 'delivered build 2.24' >> "$dir/newuper.exe"   # tell the builds apart
log=$E2E_WORK/newuper.log
run_bg "$dir" newuper.exe
watch "$log" window=30 close
check "the updater of the delivered build runs" has_text "$log" "[本地测试]"
check "update.exe is the delivered build" same_file "$dir/newuper.exe" "$dir/update.exe"
check "update.dat is the delivered build" same_file "$dir/newuper.exe" "$dir/update.dat"
stop_all

echo "# a read-only, hidden update.dat is replaced; a large curver.dat is left alone"
dir=$(new_install)
printf 'stale updater' > "$dir/update.dat"
head -c 1024 /dev/zero | tr '\0' 'x' > "$dir/curver.dat"
(cd "$dir" && "$WINE" cmd /c attrib +r +h update.dat >/dev/null 2>&1)
log=$E2E_WORK/readonly.log
mv "$dir/update.exe" "$dir/UPDATE.EXE"
run_bg "$dir" UPDATE.EXE
watch "$log" window=30 close
check "started as UPDATE.EXE the launcher runs the updater" has_text "$log" "[本地测试]"
check "read-only update.dat replaced by the tool" same_file "$dir/UPDATE.EXE" "$dir/update.dat"
check "curver.dat of 1024 bytes not consumed" present "$dir/curver.dat"
stop_all

echo "# a renamed executable refuses to run"
dir=$(new_install)
mv "$dir/update.exe" "$dir/update2.exe"
log=$E2E_WORK/renamed.log
run_bg "$dir" update2.exe
watch "$log" box=20
check "the rename message is shown" has_line "$log" "$BOX_RENAMED"
check "no update.dat made" missing "$dir/update.dat"
stop_all

echo "# plug-in missing, or without its factory export"
for variant in missing nofactory; do
  dir=$(new_install)
  if [ "$variant" = missing ]; then rm "$dir/updatecfg.dll"; else cp "$BUILD_WIN/nofactory.dll" "$dir/updatecfg.dll"; fi
  log=$E2E_WORK/plugin-$variant.log
  run_bg "$dir" update.exe
  watch "$log" box=30 window=2
  check "plug-in $variant: the no-plug-in message is shown" has_line "$log" "$BOX_NO_PLUGIN"
  check "plug-in $variant: no updater window" has_line "$log" "window: none"
  stop_all
done

echo "# our plug-in without its settings file says so and the tool ends"
dir=$(new_install)
rm "$dir/updatecfg.ini"
log=$E2E_WORK/nosettings.log
run_bg "$dir" update.exe
watch "$log" box=30 window=1
check "the plug-in's message is shown" has_line "$log" "box: updatecfg|找不到平台设置文件 updatecfg.ini，或它无法读取。|icon=1"
check "no updater window" has_line "$log" "window: none"
stop_all

echo "# Initialize answering 0 ends the updater silently; curver.dat is then kept"
dir=$(new_install)
use_recording_plugin "$dir"
touch "$dir/refuse_initialize"
printf 'xyz' > "$dir/curver.dat"
log=$E2E_WORK/refused.log
run_bg "$dir" update.exe
check "the tool ends by itself" wait_pid "$E2E_LAST_PID" 40
watch "$log" nobox=1 window=1
check "the plug-in was asked" grep -q '^initialize' "$dir/plugin_calls.txt"
check "no message box" has_line "$log" "nobox"
check "no updater window" has_line "$log" "window: none"
check "curver.dat not consumed before the plug-in is ready" present "$dir/curver.dat"
stop_all

echo "# curver.dat naming a download directory is consumed"
dir=$(new_install)
printf 'xyz' > "$dir/curver.dat"
log=$E2E_WORK/curver.log
run_bg "$dir" update.exe
watch "$log" window=30 close
check "the updater runs" has_text "$log" "[本地测试]"
check "curver.dat holding a directory word consumed" missing "$dir/curver.dat"
stop_all

echo "# curver.dat names the starting process: the updater waits for it to end"
dir=$(new_install)
cp "$BUILD_WIN/parentsim.exe" "$dir/"
log=$E2E_WORK/parent.log
run_bg "$dir" parentsim.exe xyz 3
watch "$log" window=30 close
check "the updater runs once the parent has ended" has_text "$log" "[本地测试]"
check "curver.dat consumed" missing "$dir/curver.dat"
stop_all
dir=$(new_install)
cp "$BUILD_WIN/parentsim.exe" "$dir/"
log=$E2E_WORK/parent-stays.log
run_bg "$dir" parentsim.exe xyz 40
watch "$log" box=30 window=1
check "a parent still running after the wait is reported" has_line "$log" "box: 错误|父进程未退出|icon=0"
check "no updater window then" has_line "$log" "window: none"
stop_all

finish
