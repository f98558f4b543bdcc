#!/bin/bash
# Kills a rebuild just before each of its file writes, flushes and its replace in turn
# (pak_crash_child), and checks after each that the pack under its name is whole — old or
# new — and that paktool verify accepts it.
# Usage: pak_crash_test.sh PAKTOOL PAK_CRASH_CHILD
set -u
PAKTOOL="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
CHILD="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/pak-crash.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
MAX_OPERATIONS=500

fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir src
for i in $(seq 1 3000); do echo "old line $i"; done > src/replaced.txt
head -c 150000 /dev/urandom > src/kept.bin
printf 'kept text\r\n' > src/kept.txt
printf 'src\r\nreplaced.txt\r\nkept.bin\r\nkept.txt\r\n' > list.txt
"$PAKTOOL" make list.txt good-original.pak >/dev/null || fail "make"
for i in $(seq 1 9000); do echo "new line $i"; done > good-new.txt

n=1
while :; do
    [ $n -le $MAX_OPERATIONS ] || fail "the rebuild never completed"
    cp good-original.pak patch.dat
    cp good-new.txt source.tmp
    "$CHILD" patch.dat replaced.txt source.tmp $n
    code=$?
    [ $code = 0 ] || [ $code = 3 ] || fail "child exit code $code at operation $n"
    "$PAKTOOL" verify patch.dat >/dev/null || fail "pack not whole after a crash at operation $n"
    "$PAKTOOL" extract patch.dat replaced.txt out.txt || fail "extract after operation $n"
    if cmp -s patch.dat good-original.pak; then
        state=old
    elif cmp -s out.txt good-new.txt; then
        state=new
    else
        fail "pack neither old nor new after operation $n"
    fi
    "$PAKTOOL" extract patch.dat kept.bin kept.bin.out && cmp -s kept.bin.out src/kept.bin || fail "kept member lost at $n"
    if [ $code = 0 ]; then
        [ $state = new ] || fail "finished rebuild left the old pack"
        [ -e patch.dattmp ] && fail "finished rebuild left its temporary file"
        echo "crashes at operations 1..$((n - 1)) left the old pack; the rebuild then completed"
        exit 0
    fi
    [ $state = old ] || fail "a crash before the replace left a changed pack at operation $n"
    n=$((n + 1))
done
