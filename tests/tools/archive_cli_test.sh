#!/bin/bash
# paktool's pack commands (make, list, id, extract, add, delete, verify), driven from the
# command line.
# Usage: archive_cli_test.sh PAKTOOL
source "$(dirname "$0")/cli_harness.sh"
cli_init "$@"

# --- fixtures -----------------------------------------------------------------------------
mkdir -p "$WORK/src/Data"
make_text src/good-text-200k.txt 200000
make_bytes src/Data/good-random-70000.bin 70000 5
printf 'abc' > "$WORK/src/good-abc.txt"
: > "$WORK/src/good-empty.txt"
printf 'src\r\ngood-text-200k.txt\r\nData/good-random-70000.bin\r\ngood-abc.txt\r\ngood-empty.txt\r\n' > "$WORK/good-list.txt"
printf '.\r\nsrc/good-abc.txt\r\n' > "$WORK/good-list-dot.txt"
printf 'src\r\ngood-abc.txt\r\nmissing.txt\r\n' > "$WORK/bad-list-missing-file.txt"
printf 'src\r\n' > "$WORK/bad-list-no-files.txt"
printf 'src\r\ngood-abc.txt\r\nGOOD-ABC.TXT\r\n' > "$WORK/bad-list-same-id.txt"
printf 'not a pack at all' > "$WORK/bad-not-a-pack.pak"
make_text good-replacement.txt 90000
printf '%s\r\ngood-abc.txt\r\nData/good-random-70000.bin\r\n' "$WORK/src" > "$WORK/good-list-absolute.txt"
printf 'DeleteMe' > "$WORK/bad-delete-marker.txt"

same_file() { cmp -s "$WORK/$1" "$WORK/$2" || cli_fail "$3" "$1 differs from $2"; }

# --- id -------------------------------------------------------------------------------------
expect id_abc                  0 '8511ab55' '' -- id abc
expect id_empty                0 '7ae8d31f' '' -- id ''
expect id_folds_and_slashes    0 "$("$PAKTOOL" id data/map.txt)" '' -- id 'Data\MAP.txt'
expect id_no_name              2 '' 'expected 1 argument' -- id

# --- make and list --------------------------------------------------------------------------
expect make_default_method     0 '(packing file [^ ]+\.\.\.'$'\n''?)+' '' -- make good-list.txt good-zlib.pak
NL=$'\n'
expect list_default_is_zlib    0 "magic DATAPACK entries 4 method -1 \\(zlib\\)(${NL}[0-9a-f]{8} [0-9]+ [0-9]+){4}" '' -- list good-zlib.pak
# Index in ascending id order; the empty file is an entry of size 0.
ids="$(printf '%s\n' "$OUT" | tail -n +2 | cut -d' ' -f1)"
[ "$ids" = "$(printf '%s\n' "$ids" | sort)" ] || cli_fail list_sorted_ids "ids not ascending: $ids"
printf '%s\n' "$OUT" | grep -q "^$("$PAKTOOL" id good-empty.txt) [0-9]* 0\$" || cli_fail list_empty_entry "no size-0 entry"
expect make_dot_base           0 '.*' '' -- make good-list-dot.txt good-dot.pak
expect extract_dot_base        0 '' '' -- extract good-dot.pak src/good-abc.txt out-dot.txt && same_file out-dot.txt src/good-abc.txt extract_dot_base
# A base directory given as an absolute path, run from anywhere; lines name folded names.
expect make_absolute_base      0 "packing file (good-abc.txt|data/good-random-70000.bin)\\.\\.\\.${NL}packing file (good-abc.txt|data/good-random-70000.bin)\\.\\.\\." '' -- \
    make good-list-absolute.txt good-absolute.pak
expect extract_absolute_base   0 '' '' -- extract good-absolute.pak data/good-random-70000.bin out-absolute.bin &&
    same_file out-absolute.bin src/Data/good-random-70000.bin extract_absolute_base

for method in lzma zlib stored lha lzo; do
    if ! (cd "$WORK" && "$PAKTOOL" block encode -m "$method" src/good-abc.txt probe.out >/dev/null 2>&1) && [ "$method" = lha ]; then
        skip "make_$method" "method $method not available in this build"
        continue
    fi
    expect "make_$method"      0 '.*' '' -- make good-list.txt "good-$method.pak" -m "$method" || continue
    expect "verify_$method"    0 '4 entries ok' '' -- verify "good-$method.pak"
    expect "extract_$method"   0 '' '' -- extract "good-$method.pak" 'data\GOOD-random-70000.bin' "out-$method.bin" &&
        same_file "out-$method.bin" src/Data/good-random-70000.bin "extract_$method"
    expect "extract_text_$method" 0 '' '' -- extract "good-$method.pak" good-text-200k.txt "out-$method.txt" &&
        same_file "out-$method.txt" src/good-text-200k.txt "extract_text_$method"
done

expect make_missing_file       1 '.*' "Can't open file : missing.txt" -- make bad-list-missing-file.txt bad-out.pak
[ -e "$WORK/bad-out.pak" ] && cli_fail make_missing_file_leaves_no_pack "bad-out.pak exists"
expect make_no_files           1 '' 'cannot make' -- make bad-list-no-files.txt bad-out.pak
expect make_same_id            1 '' 'same id' -- make bad-list-same-id.txt bad-out.pak
expect make_missing_list       1 '' 'cannot make' -- make missing-list.txt bad-out.pak
expect make_bad_method         2 '' 'method' -- make good-list.txt bad-out.pak -m 9
expect make_no_arguments       2 '' 'expected 2 arguments' -- make

# --- extract --------------------------------------------------------------------------------
expect extract_empty_member    0 '' '' -- extract good-zlib.pak good-empty.txt out-empty.txt &&
    same_file out-empty.txt src/good-empty.txt extract_empty_member
expect extract_no_member       1 '' "holds no member 'nothing.txt'" -- extract good-zlib.pak nothing.txt out.txt
expect extract_missing_pack    3 '' "cannot open file 'missing.pak'" -- extract missing.pak good-abc.txt out.txt
expect extract_not_a_pack      1 '' 'is not a pack' -- extract bad-not-a-pack.pak good-abc.txt out.txt
expect list_not_a_pack         1 '' 'is not a pack' -- list bad-not-a-pack.pak

# --- add and delete -------------------------------------------------------------------------
cp "$WORK/good-zlib.pak" "$WORK/good-change.pak"
expect add_replaces            0 '.*' '' -- add good-change.pak good-text-200k.txt good-replacement.txt
[ -e "$WORK/good-replacement.txt" ] || cli_fail add_keeps_file "the added file is gone"
expect add_made_updatepk       0 'magic UpdatePK entries 4 method -1 \(zlib\).*' '' -- list good-change.pak
expect add_reads_back          0 '' '' -- extract good-change.pak good-text-200k.txt out-replaced.txt &&
    same_file out-replaced.txt good-replacement.txt add_reads_back
expect add_new_member          0 '.*' '' -- add good-change.pak 'New\Member.txt' src/good-abc.txt
expect add_new_reads_back      0 '' '' -- extract good-change.pak new/member.txt out-new.txt &&
    same_file out-new.txt src/good-abc.txt add_new_reads_back
expect add_kept_reads_back     0 '' '' -- extract good-change.pak Data/good-random-70000.bin out-kept.bin &&
    same_file out-kept.bin src/Data/good-random-70000.bin add_kept_reads_back
expect add_missing_file        3 '' "cannot open file 'missing.txt'" -- add good-change.pak x.txt missing.txt
expect add_missing_pack        3 '' "cannot open file 'missing.pak'" -- add missing.pak x.txt good-replacement.txt
# Content of exactly "DeleteMe" would remove the member: add refuses it and names delete.
expect add_delete_marker_refused 2 '' "holds exactly the 8 bytes.*paktool delete good-change.pak good-abc.txt" -- \
    add good-change.pak good-abc.txt bad-delete-marker.txt
expect add_delete_marker_kept  0 '' '' -- extract good-change.pak good-abc.txt out-not-deleted.txt &&
    same_file out-not-deleted.txt src/good-abc.txt add_delete_marker_kept
expect delete_member           0 '.*' '' -- delete good-change.pak good-abc.txt
expect delete_is_gone          1 '' 'holds no member' -- extract good-change.pak good-abc.txt out.txt
expect delete_others_kept      0 '4 entries ok' '' -- verify good-change.pak
expect delete_missing_member   1 '' "holds no member 'good-abc.txt'" -- delete good-change.pak good-abc.txt
ls "$WORK" | grep -q 'tmp$' && cli_fail no_temporary_files_left "$(ls "$WORK" | grep 'tmp$')"

# --- verify ---------------------------------------------------------------------------------
# Garble the first coded block of the text member (its table is at the entry's offset).
cp "$WORK/good-zlib.pak" "$WORK/bad-garbled.pak"
text_line="$(cd "$WORK" && "$PAKTOOL" list good-zlib.pak | grep "^$("$PAKTOOL" id good-text-200k.txt) ")"
text_offset="$(echo "$text_line" | cut -d' ' -f2)"
printf '\x55\x55\x55\x55\x55\x55\x55\x55' | dd of="$WORK/bad-garbled.pak" bs=1 seek=$((text_offset + 16)) conv=notrunc 2>/dev/null
expect verify_garbled_block    1 '' "entry [0-9]+ \\(id $("$PAKTOOL" id good-text-200k.txt).*damaged" -- verify bad-garbled.pak
head -c 300 "$WORK/good-zlib.pak" > "$WORK/bad-cut.pak"
expect verify_cut_pack         1 '' 'damaged' -- verify bad-cut.pak
expect verify_not_a_pack       1 '' 'is not a pack' -- verify bad-not-a-pack.pak

cli_finish
