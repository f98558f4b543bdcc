#!/bin/bash
# paktool publish --delta-from: which changed files get a patch and which do not, the delta
# list beside the update list, the patches applied by zstd's own program, the list signed
# with --sign, and an earlier list removed by a publication without deltas.
source "$(dirname "$0")/cli_harness.sh"
cli_init "$1"
LIST=download/update.dlt

md5() { md5sum "$WORK/$1" | cut -d' ' -f1; }
# The list line of FILE (field 1), or nothing.
list_line() { awk -F'\t' -v n="$1" '$1 == n' "$WORK/srv/$LIST" | tr -d '\r'; }

# v0 and v1 are earlier trees; v2 is published. big.bin: v1 -> v2 changes a few bytes (a small
# patch), v0's big.bin is unrelated (no patch worth keeping); other.bin is new content
# throughout; same.bin stays; added.bin is new; small.bin changes but is below the size that
# gets patches.
mkdir -p "$WORK/v0/data" "$WORK/v1/data" "$WORK/v2/data"
make_bytes v0/data/big.bin 200000 7
make_bytes v1/data/big.bin 200000 1
make_bytes v1/data/other.bin 70000 2
make_text v1/data/same.txt 4000
cp "$WORK/v1/data/big.bin" "$WORK/v2/data/big.bin"
printf 'HOTFIX' | dd of="$WORK/v2/data/big.bin" bs=1 seek=123456 conv=notrunc status=none
make_bytes v2/data/other.bin 70000 3
cp "$WORK/v1/data/same.txt" "$WORK/v2/data/same.txt"
make_bytes v2/data/added.bin 1000 4
make_bytes v1/data/small.bin 60000 5
cp "$WORK/v1/data/small.bin" "$WORK/v2/data/small.bin"
printf 'X' | dd of="$WORK/v2/data/small.bin" bs=1 seek=10 conv=notrunc status=none

expect publish-with-deltas 0 \
    'patch for data/big.bin: [0-9]+ bytes against [0-9]+
no patch for data/big.bin \([0-9]+ bytes against [0-9]+\)
no patch for data/other.bin \([0-9]+ bytes against [0-9]+\)
1 patches listed in update.dlt
published 5 files to .*' '' -- publish v2 srv --wrap --delta-from v1 --delta-from v0

head -n 1 "$WORK/srv/$LIST" | cmp -s - <(printf 'KVO delta list 1\r\n') || cli_fail list-header "$(head -c 40 "$WORK/srv/$LIST")"
line="$(list_line data/big.bin)"
IFS=$'\t' read -r name old_md5 old_size new_md5 new_size patch_path patch_size patch_md5 <<< "$line"
[ "$old_md5 $old_size" = "$(md5 v1/data/big.bin) 200000" ] || cli_fail list-old "$line"
[ "$new_md5 $new_size" = "$(md5 v2/data/big.bin) 200000" ] || cli_fail list-new "$line"
[ -f "$WORK/srv/$patch_path" ] || cli_fail list-patch-path "no $patch_path"
[ "$patch_size $patch_md5" = "$(stat -c %s "$WORK/srv/$patch_path") $(md5 "srv/$patch_path")" ] ||
    cli_fail list-patch "size or MD5 of $patch_path"
[ "$patch_size" -lt 1000 ] || cli_fail patch-small "a patch of six changed bytes takes $patch_size bytes"
[ -z "$(list_line data/other.bin)$(list_line data/same.txt)$(list_line data/added.bin)$(list_line data/small.bin)" ] ||
    cli_fail list-only-big "$(cat "$WORK/srv/$LIST")"
# zstd's own program, not ours, turns v1's content into v2's with the patch.
if command -v zstd >/dev/null; then
    zstd -q -d --long=27 --patch-from="$WORK/v1/data/big.bin" "$WORK/srv/$patch_path" -o "$WORK/applied.bin" &&
        cmp -s "$WORK/applied.bin" "$WORK/v2/data/big.bin" || cli_fail patch-applies "zstd did not give v2's big.bin"
else
    skip patch-applies "no zstd program"
fi
# Older updaters read only the update list: it is the one a publication without deltas writes.
expect publish-without-deltas 0 'published 5 files to .*' '' -- publish v2 plain --wrap
cmp -s "$WORK/srv/download/update.pak" "$WORK/plain/download/update.pak" ||
    cli_fail update-list-unchanged "the update list differs with deltas"
# A publication without --delta-from takes the earlier list away.
expect republish-without-deltas 0 'published 5 files to .*' '' -- publish v2 srv --wrap
[ ! -e "$WORK/srv/$LIST" ] || cli_fail list-removed "$LIST is still there"

expect publish-missing-earlier-tree 3 '' "earlier game folder.*absent" -- publish v2 srv2 --delta-from absent
[ ! -e "$WORK/srv2" ] || cli_fail missing-earlier-tree-writes-nothing "srv2 was written"

# Signed: the list and the patch carry signatures under their remote names.
expect keygen 0 'public key [0-9a-f]{64}' '' -- keygen sec pub
expect publish-signed 0 '.*signed as publication 1' '' -- publish v2 signed --sign sec --delta-from v1
expect list-signature 0 "signature valid, publication 1" '' -- \
    verify-signature pub signed/$LIST --name $LIST
patch_path="$(awk -F'\t' '$1 == "data/big.bin" { print $6 }' "$WORK/signed/$LIST")"
expect patch-signature 0 "signature valid, publication 1.*" '' -- \
    verify-signature pub "signed/$patch_path" --name "$patch_path"

cli_finish
