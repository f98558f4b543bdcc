#!/bin/bash
# paktool publish --delta-from: which changed files get a patch and which do not, the delta
# list beside the update list, the patches applied by zstd's own program, the list signed
# with --sign, and an earlier list removed by a publication without deltas.
# paktool olp --delta-from: which members the package holds, the package applied to an
# installation at the earlier publication and to one at another, and a package without the
# option byte for byte as before.
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

# --- olp --delta-from: a package for installations at earlier publications ---
# The member ids of package FILE, sorted; the ids of the member NAMES, sorted.
package_ids() { (cd "$WORK" && "$PAKTOOL" list "$1") | awk 'NR > 1 { print $1 }' | sort; }
ids_of() { for n in "$@"; do "$PAKTOOL" id "$n"; done | sort; }
# Fails case NAME unless package FILE holds exactly the members NAMES.
expect_members() {
    local name="$1" file="$2"
    shift 2
    [ "$(package_ids "$file")" = "$(ids_of "$@")" ] || cli_fail "$name" "$file holds other members than: $*"
}
# Fails case NAME unless the pack of installation INST holds FILE as in game tree TREE.
expect_installed() {
    local name="$1" inst="$2" file="$3" tree="$4"
    (cd "$WORK" && "$PAKTOOL" extract "$inst/patch.dat" "$file" out.bin >/dev/null 2>&1) &&
        cmp -s "$WORK/out.bin" "$WORK/$tree/$file" || cli_fail "$name" "$inst does not hold $tree's $file"
}
big_patch="delta/$(md5 v1/data/big.bin)-$(md5 v2/data/big.bin)"

# Against v1: same.txt is left out, big.bin travels as its patch, the rest whole.
expect olp-delta-from-v1 0 'patch for data/big.bin: [0-9]+ bytes against [0-9]+
no patch for data/other.bin \([0-9]+ bytes against [0-9]+\)
3 files whole, 1 patches listed in update.dlt, 1 unchanged files left out
packaged 5 files into d1.olp' '' -- olp v2 d1.olp --delta-from v1
expect_members olp-delta-from-v1-members d1.olp update.inf update.dlt "$big_patch" \
    data/other.bin data/small.bin data/added.bin
# Against v1 and v0: v0 has no patch worth keeping for big.bin and lacks the other files, so
# every file travels whole for it.
expect olp-delta-from-v1-and-v0 0 'patch for data/big.bin: [0-9]+ bytes against [0-9]+
no patch for data/big.bin \([0-9]+ bytes against [0-9]+\)
5 files whole, 0 patches listed in update.dlt, 0 unchanged files left out
packaged 5 files into d10.olp' '' -- olp v2 d10.olp --delta-from v1 --delta-from v0
expect_members olp-delta-from-v1-and-v0-members d10.olp update.inf update.dlt \
    data/big.bin data/other.bin data/same.txt data/small.bin data/added.bin
expect olp-delta-missing-earlier-tree 3 '' "earlier game folder.*absent" -- olp v2 dx.olp --delta-from absent
[ ! -e "$WORK/dx.olp" ] || cli_fail olp-delta-missing-earlier-tree-writes-nothing "dx.olp was written"
mkdir -p "$WORK/v2-with-list/data"
cp "$WORK/v2/data/big.bin" "$WORK/v2-with-list/data/big.bin"
printf 'a game file' > "$WORK/v2-with-list/update.dlt"
expect olp-delta-game-file-named-like-the-list 2 '' 'reserves' -- olp v2-with-list dl.olp --delta-from v1

# An installation at v1 takes v2 from the delta package; one at v0 gets what the package
# can give and the rest on its list of files not installed, never a wrong file.
mkdir -p "$WORK/inst-v1" "$WORK/inst-v0"
expect olp-v1-whole 0 '.*' '' -- olp v1 v1.olp
expect olp-v0-whole 0 '.*' '' -- olp v0 v0.olp
expect apply-v1-whole 0 '.*UPD_PACKAGE_APPLIED' '.*' -- apply-olp v1.olp inst-v1 --yes
expect apply-v0-whole 0 '.*UPD_PACKAGE_APPLIED' '.*' -- apply-olp v0.olp inst-v0 --yes
expect apply-delta-at-v1 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp d1.olp inst-v1
for f in data/big.bin data/other.bin data/same.txt data/small.bin data/added.bin; do
    expect_installed apply-delta-at-v1-installs-v2 inst-v1 "$f" v2
done
expect apply-delta-at-v0 1 '.*UPD_PACKAGE_APPLIED' "2 files were not installed: the first is 'data/big.bin'" -- \
    apply-olp d1.olp inst-v0
expect_installed apply-delta-at-v0-keeps-its-file inst-v0 data/big.bin v0
expect_installed apply-delta-at-v0-installs-whole inst-v0 data/other.bin v2

# Without --delta-from the package is what it has always been. The fixed files above are
# incompressible but for same.txt and the manifest, so the digest pins the format.
expect olp-without-delta 0 'packaged 5 files into plain.olp' '' -- olp v2 plain.olp
[ "$(md5 plain.olp)" = 5c401bd73435132f8c524368c7f76817 ] || cli_fail olp-without-delta-bytes "plain.olp changed"
expect olp-delta-signed 0 '.*signed as publication 2' '' -- olp v2 ds.olp --delta-from v1 --sign sec --number 2
expect olp-delta-signature 0 'signature valid, publication 2.*' '' -- verify-signature pub ds.olp --name offline.olp

cli_finish
