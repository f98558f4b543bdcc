#!/bin/bash
# paktool olp for installations at earlier game folders: files those folders have and the
# package's folder no longer has are removed when the package is applied, a pack member and
# a loose file alike, so a package full or delta gives the installation the online update
# gives (compared member by member with an installation brought up to date online).
source "$(dirname "$0")/cli_harness.sh"
cli_init "$1"

# v1 holds a pack member (data/old.bin) and a loose file (notes.txt) that v2 removed; v3
# changes big.bin again and adds new.bin.
mkdir -p "$WORK/v1/data" "$WORK/v2/data" "$WORK/v3/data"
make_bytes v1/data/big.bin 200000 1
make_text v1/data/kept.txt 4000
make_bytes v1/data/old.bin 70000 2
printf 'notes' > "$WORK/v1/notes.txt"
printf 'notes.txt\r\n' > "$WORK/v1/.unpack"
cp "$WORK/v1/data/big.bin" "$WORK/v1/data/kept.txt" "$WORK/v2/data/"
printf 'HOTFIX2' | dd of="$WORK/v2/data/big.bin" bs=1 seek=1000 conv=notrunc status=none
cp "$WORK/v2/data/big.bin" "$WORK/v2/data/kept.txt" "$WORK/v3/data/"
printf 'HOTFIX3' | dd of="$WORK/v3/data/big.bin" bs=1 seek=2000 conv=notrunc status=none
make_bytes v3/data/new.bin 3000 3

# The online update: an installation at v1, then v2 and v3 published to its server, then one
# run that brings it from v1 to v3. Three more installations at v1 for the packages.
expect online-publish-v1 0 '.*' '' -- publish v1 srv
expect publish-v1-alone 0 '.*' '' -- publish v1 srv-v1
for inst in inst-online inst-full inst-delta inst-plain; do
    mkdir -p "$WORK/$inst"
    expect "install-v1-$inst" 0 '.*UPD_DONE' '.*' -- sync srv-v1 "$inst" --yes
done
expect online-publish-v2 0 $'removed data/old.bin\nremoved notes.txt\npublished 2 files to .*' '' -- publish v2 srv
expect online-publish-v3 0 'published 3 files to .*' '' -- publish v3 srv
expect online-v1-to-v3 0 '.*UPD_DONE' '' -- sync srv inst-online

# The sorted member ids of the pack of installation INST.
pack_ids() { (cd "$WORK" && "$PAKTOOL" list "$1/patch.dat") | awk 'NR > 1 { print $1 }' | sort; }
# Fails case NAME unless installation INST holds v3 as the online installation does: the same
# members, each of v3's files in v3's content, and neither removed file.
expect_like_online() {
    local name="$1" inst="$2" f
    [ "$(pack_ids "$inst")" = "$(pack_ids inst-online)" ] || cli_fail "$name" "$inst's pack has other members than online"
    for f in data/big.bin data/kept.txt data/new.bin; do
        (cd "$WORK" && "$PAKTOOL" extract "$inst/patch.dat" "$f" out.bin >/dev/null 2>&1) &&
            cmp -s "$WORK/out.bin" "$WORK/v3/$f" || cli_fail "$name" "$inst does not hold v3's $f"
    done
    (cd "$WORK" && "$PAKTOOL" extract "$inst/patch.dat" data/old.bin out.bin >/dev/null 2>&1) &&
        cli_fail "$name" "$inst still holds data/old.bin"
    [ ! -e "$WORK/$inst/notes.txt" ] || cli_fail "$name" "$inst still has the loose notes.txt"
}
expect_like_online online-removes inst-online

# A full package for installations at v1, and a delta package against v1.
expect olp-full-removed-from-v1 0 $'removed data/old.bin\nremoved notes.txt\npackaged 3 files into full.olp' '' -- \
    olp v3 full.olp --removed-from v1
expect apply-full 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp full.olp inst-full
expect_like_online apply-full-like-online inst-full
expect olp-delta-from-v1 0 $'patch for data/big.bin: [0-9]+ bytes against [0-9]+\nremoved data/old.bin\nremoved notes.txt\n.*packaged 3 files into delta.olp' '' -- \
    olp v3 delta.olp --delta-from v1
expect apply-delta 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp delta.olp inst-delta
expect_like_online apply-delta-like-online inst-delta
# Applied again, or to an installation that never had the removed files, nothing fails.
expect apply-full-again 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp full.olp inst-delta
expect_like_online apply-full-again-like-online inst-delta
mkdir -p "$WORK/inst-v3"
expect publish-v3-alone 0 '.*' '' -- publish v3 srv-v3
expect install-v3 0 '.*UPD_DONE' '.*' -- sync srv-v3 inst-v3 --yes
expect apply-full-at-v3 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp full.olp inst-v3

# A package without an earlier folder knows of no removal: byte for byte as before.
expect olp-plain 0 'packaged 3 files into plain.olp' '' -- olp v3 plain.olp
expect olp-removed-from-missing-folder 3 '' "earlier game folder.*absent" -- olp v3 bad.olp --removed-from absent
[ ! -e "$WORK/bad.olp" ] || cli_fail olp-removed-from-missing-folder-writes-nothing "bad.olp was written"

cli_finish
