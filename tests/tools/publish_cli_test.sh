#!/bin/bash
# paktool publish, sync, olp and apply-olp from the command line: a publish -> sync round
# trip, an offline package applied, and the errors an operator may run into.
source "$(dirname "$0")/cli_harness.sh"
cli_init "$1"
MAKE_TEST_PE=${2:?usage: publish_cli_test.sh PAKTOOL MAKE_TEST_PE}

# A game folder at v1 and at v2; readme.txt installs as a loose file.
mkdir -p "$WORK/v1/data" "$WORK/v2/data/new" "$WORK/inst" "$WORK/inst2"
make_text "v1/data/a.txt" 3000
make_bytes "v1/data/big.bin" 150000 1
printf 'old readme\r\n' > "$WORK/v1/readme.txt"
printf 'readme.txt\r\n' > "$WORK/v1/.unpack"
cp "$WORK/v1/data/a.txt" "$WORK/v2/data/a.txt"
make_bytes "v2/data/big.bin" 150000 2
make_text "v2/data/new/added.txt" 500
printf 'new readme\r\n' > "$WORK/v2/readme.txt"
cp "$WORK/v1/.unpack" "$WORK/v2/.unpack"

expect publish-v1 0 'published 3 files to .*' '' -- publish v1 srv1 --wrap
expect publish-v2 0 'published 4 files to .*' '' -- publish v2 srv2 --platform win --plugin-version 10000
for f in update.pak version.txt '$win/data/a.txt' '$win/readme.txt'; do
    [ -f "$WORK/srv2/download/$f" ] || cli_fail publish-v2-tree "missing download/$f"
done

# A fresh installation answers "yes" to rebuilding its missing pack, then takes v2.
expect sync-v1-fresh 0 '.*result: 0x00000000 UPD_DONE' '.*' -- sync srv1 inst --yes
expect sync-v1-again 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv1 inst
expect sync-v2-other-platform 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv2 inst --platform mac
expect sync-v2 0 '.*result: 0x00000000 UPD_DONE' '' -- sync srv2 inst --platform win
expect sync-v2-again 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv2 inst --platform win
# A loose file lost after the update: an ordinary run trusts the manifest, a repair fetches it.
rm "$WORK/inst/readme.txt"
expect sync-v2-damaged 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv2 inst --platform win
expect sync-v2-repair 0 '.*result: 0x00000000 UPD_DONE' '' -- sync srv2 inst --platform win --repair
cmp -s "$WORK/inst/readme.txt" "$WORK/v2/readme.txt" || cli_fail sync-v2-repair "readme.txt was not repaired"
expect sync-v2-repaired 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv2 inst --platform win --repair
cmp -s "$WORK/inst/readme.txt" "$WORK/v2/readme.txt" || cli_fail sync-v2-loose "readme.txt is not v2's"
if "$PAKTOOL" --help 2>/dev/null | grep -q '^  extract '; then
    for f in data/a.txt data/big.bin data/new/added.txt; do
        (cd "$WORK" && "$PAKTOOL" extract inst/patch.dat "$f" "out.bin" >/dev/null 2>&1) &&
            cmp -s "$WORK/out.bin" "$WORK/v2/$f" || cli_fail sync-v2-pack "patch.dat does not hold v2's $f"
    done
else
    skip sync-v2-pack "no extract command in this paktool"
fi
if "$PAKTOOL" --help 2>/dev/null | grep -q '^  verify '; then
    expect sync-v2-verify 0 '.*' '.*' -- verify inst/patch.dat
else
    skip sync-v2-verify "no verify command in this paktool"
fi

# A damaged pack (its header garbled, an entry's size beyond the limit, its end cut off): a
# repair that answers yes to rebuilding it brings it back to the publication.
if "$PAKTOOL" --help 2>/dev/null | grep -q '^  extract '; then
    for damage in header index cut; do
        case $damage in
            header) printf 'XXXXXXXXXXXXXXXX' | dd of="$WORK/inst/patch.dat" bs=16 count=1 conv=notrunc 2>/dev/null ;;
            index) printf '\xff\xff\xff\x7f' | dd of="$WORK/inst/patch.dat" bs=1 seek=24 conv=notrunc 2>/dev/null ;;
            cut) truncate -s -100 "$WORK/inst/patch.dat" ;;
        esac
        expect "repair-$damage" 0 '.*result: 0x00000000 UPD_DONE' '.*' -- sync srv2 inst --platform win --repair --yes
        expect "repair-$damage-verify" 0 '.*' '.*' -- verify inst/patch.dat
        for f in data/a.txt data/big.bin data/new/added.txt; do
            (cd "$WORK" && "$PAKTOOL" extract inst/patch.dat "$f" "out.bin" >/dev/null 2>&1) &&
                cmp -s "$WORK/out.bin" "$WORK/v2/$f" || cli_fail "repair-$damage-pack" "patch.dat does not hold v2's $f"
        done
        expect "repair-$damage-again" 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv2 inst --platform win --repair
    done
else
    skip repair-damaged-pack "no extract command in this paktool"
fi

# Without --yes a missing pack is not rebuilt.
mkdir -p "$WORK/empty"
expect sync-no-rebuild 1 '.*result: 0x80000003 UPD_E_DATA' "UPD_E_DATA.*'empty/patch.dat' does not exist.*--yes" -- sync srv1 empty
[ ! -e "$WORK/empty/patch.dat" ] || cli_fail sync-no-rebuild "patch.dat was created"
# The engine's texts are GBK: a UTF-8 terminal shows them in UTF-8, any other terminal gets
# them as they are.
gbk_local="$(printf '\xb1\xbe\xb5\xd8')"  # the GBK bytes of the question's first word
for case in "utf8:C.UTF-8:本地" "zh-utf8:zh_CN.UTF-8:本地" "c:C:$gbk_local" "posix:POSIX:$gbk_local"; do
    IFS=: read -r name terminal text <<< "$case"
    LC_ALL="$terminal" expect "sync-message-$name" 1 ".*message: \[\] ${text}patch.dat.*" 'UPD_E_DATA' -- sync srv1 empty
done

# An offline package of v2 applied to a v1 installation.
expect sync-inst2-v1 0 '.*UPD_DONE' '.*' -- sync srv1 inst2 --yes
expect olp-v2 0 'packaged 4 files into v2.olp' '' -- olp v2 v2.olp --platform 'win mac'
expect apply-olp-v2 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp v2.olp inst2 --platform win
cmp -s "$WORK/inst2/readme.txt" "$WORK/v2/readme.txt" || cli_fail apply-olp-v2-loose "readme.txt is not v2's"
expect apply-olp-other-platform 1 '.*UPD_E_DATA' "UPD_E_DATA.*not for platform 'linux'" -- apply-olp v2.olp inst2 --platform linux
"$MAKE_TEST_PE" program 'tool 2.24' "$WORK/tool-224.exe" || cli_fail make-test-pe "no test program"
expect apply-olp-tool 0 '.*' '' -- olp v2 tool.olp --tool-version 224 --tool tool-224.exe
expect apply-olp-restart 1 '.*result: 0xFFFFFFFF UPD_RESTART_REQUESTED' "RESTART.*update.exe.*written into 'inst2'" -- apply-olp tool.olp inst2
cmp -s "$WORK/inst2/update.exe" "$WORK/tool-224.exe" || cli_fail apply-olp-restart "update.exe not written"
# A "tool" that is no program of the tool's machine would leave an installation that cannot
# start: the package is refused and update.exe stays.
expect olp-text-tool 0 '.*' '' -- olp v2 text-tool.olp --tool-version 225 --tool v2/readme.txt
expect apply-olp-text-tool 1 '.*UPD_E_DATA' 'UPD_E_DATA' -- apply-olp text-tool.olp inst2
cmp -s "$WORK/inst2/update.exe" "$WORK/tool-224.exe" || cli_fail apply-olp-text-tool "update.exe was replaced"

# Errors an operator may make.
printf 'not a package' > "$WORK/junk.olp"
expect apply-olp-junk 1 '.*UPD_E_DATA' 'UPD_E_DATA' -- apply-olp junk.olp inst2
expect apply-olp-no-install 3 '' 'does not exist' -- apply-olp v2.olp nowhere
expect publish-no-game 3 '' 'does not exist' -- publish nowhere srv3
expect publish-tool-alone 2 '' 'go together' -- publish v2 srv3 --tool update.exe
expect publish-bad-version 2 '' 'tool-version' -- publish v2 srv3 --tool-version x --tool v2/readme.txt

# A --dir that would lead out of SERVERDIR is refused before anything is written.
for case in "abs:$WORK/outside/" "parent:../../outside/" "parent-inside:download/../../outside" \
            "drive:c:/outside" "device:download/lpt1/" "root-alone:/"; do
    expect "publish-dir-${case%%:*}" 2 '' 'must be a folder inside SERVERDIR' -- publish v2 srv-dir --dir "${case#*:}"
done
[ ! -e "$WORK/outside" ] && [ ! -e "$WORK/../outside" ] && [ ! -e "$WORK/srv-dir" ] ||
    cli_fail publish-dir-outside "a refused --dir wrote files"
expect publish-dir-nested 0 'published 4 files to .*' '' -- publish v2 srv-dir --dir mirror/v2/
[ -f "$WORK/srv-dir/mirror/v2/update.pak" ] || cli_fail publish-dir-nested "no update.pak under mirror/v2/"
expect sync-no-server 1 '.*UPD_E_FETCH' 'UPD_E_FETCH' -- sync nowhere inst
expect sync-missing-arg 2 '' 'usage' -- sync srv1
mkdir -p "$WORK/reserved"
printf 'x' > "$WORK/reserved/update.inf"
expect olp-reserved-name 2 '' 'reserves' -- olp reserved r.olp

# A file gone from the game folder leaves every installation that applies the next list:
# rm-v1 holds a pack member (data/old.txt) and a loose file (notes.txt) that rm-v2 lacks.
mkdir -p "$WORK/rm-v1/data" "$WORK/rm-v2/data" "$WORK/inst-rm" "$WORK/inst-rm-fresh"
printf 'kept' > "$WORK/rm-v1/data/kept.txt"
printf 'old' > "$WORK/rm-v1/data/old.txt"
printf 'notes' > "$WORK/rm-v1/notes.txt"
printf 'notes.txt\r\n' > "$WORK/rm-v1/.unpack"
cp "$WORK/rm-v1/data/kept.txt" "$WORK/rm-v2/data/kept.txt"
# The record a removal publishes: pack kind, the content of the delete marker.
removal_record() { printf 'pack\r\n%s\r\nmd5 %s\r\n8\r\ndownload/%s\r\n\r\n' "$1" "$(printf DeleteMe | md5sum | cut -c1-32)" "$1"; }
# Checks that the update list of srv-rm publishes data/old.txt and notes.txt as removed.
check_removal_list() {
    (cd "$WORK" && "$PAKTOOL" extract srv-rm/download/update.pak update.inf rm-list.txt >/dev/null 2>&1) ||
        { cli_fail "$1" "no update list"; return; }
    local name list
    list="$(cat "$WORK/rm-list.txt")"
    for name in data/old.txt notes.txt; do
        [[ "$list" == *"$(removal_record "$name")"* ]] || cli_fail "$1" "the list does not publish $name as removed"
    done
}
expect removal-publish-v1 0 'published 3 files to .*' '' -- publish rm-v1 srv-rm
expect removal-sync-v1 0 '.*UPD_DONE' '.*' -- sync srv-rm inst-rm --yes
expect removal-publish-v2 0 $'removed data/old.txt\nremoved notes.txt\npublished 1 files to .*' '' -- publish rm-v2 srv-rm
check_removal_list removal-publish-v2
expect removal-sync-v2 0 '.*UPD_DONE' '' -- sync srv-rm inst-rm
[ ! -e "$WORK/inst-rm/notes.txt" ] || cli_fail removal-sync-v2 "the loose notes.txt is still installed"
expect removal-pack-member-gone 1 '' "holds no member 'data/old.txt'" -- extract inst-rm/patch.dat data/old.txt rm-out.bin
expect removal-sync-v2-again 0 '.*UPD_UP_TO_DATE' '' -- sync srv-rm inst-rm
# The next publication keeps them removed without reporting them again, for installations
# that skipped the one before.
expect removal-publish-v3 0 'published 1 files to .*' '' -- publish rm-v2 srv-rm
check_removal_list removal-publish-v3
expect removal-sync-v3 0 '.*UPD_UP_TO_DATE' '' -- sync srv-rm inst-rm
expect removal-sync-fresh 0 '.*UPD_DONE' '.*' -- sync srv-rm inst-rm-fresh --yes
[ ! -e "$WORK/inst-rm-fresh/notes.txt" ] || cli_fail removal-sync-fresh "a fresh installation got notes.txt"
# A file back in the game folder is published again.
expect removal-publish-back 0 'published 3 files to .*' '' -- publish rm-v1 srv-rm
expect removal-sync-back 0 '.*UPD_DONE' '' -- sync srv-rm inst-rm
cmp -s "$WORK/inst-rm/notes.txt" "$WORK/rm-v1/notes.txt" || cli_fail removal-sync-back "notes.txt is not back"
# Server files no record points at any more go, with their signatures.
expect removal-stale-files 0 $'removed stale server file download/data/kept.txt\nremoved stale server file download/data/old.txt\nremoved stale server file download/notes.txt\npublished 3 files to .*' '' -- publish rm-v1 srv-rm --platform win
for f in data/kept.txt data/old.txt notes.txt; do
    [ ! -e "$WORK/srv-rm/download/$f" ] || cli_fail removal-stale-files "download/$f is still there"
    [ -e "$WORK/srv-rm/download/\$win/$f" ] || cli_fail removal-stale-files "download/\$win/$f is missing"
done
# The same below a --dir written in capitals, whose files lie at their folded paths.
expect removal-stale-dir-capitals-v1 0 'published 3 files to .*' '' -- publish rm-v1 srv-rm-caps --dir Edition/
expect removal-stale-dir-capitals 0 $'removed data/old.txt\nremoved notes.txt\nremoved stale server file edition/data/kept.txt\nremoved stale server file edition/data/old.txt\nremoved stale server file edition/notes.txt\npublished 1 files to .*' '' -- publish rm-v2 srv-rm-caps --dir Edition/ --platform win
[ ! -e "$WORK/srv-rm-caps/edition/data/kept.txt" ] || cli_fail removal-stale-dir-capitals "edition/data/kept.txt is still there"
mkdir -p "$WORK/srv-rm-junk/download"
printf 'not a list' > "$WORK/srv-rm-junk/download/update.pak"
expect removal-unreadable-list 1 '' "'srv-rm-junk/download/update.pak' holds no readable update list" -- publish rm-v2 srv-rm-junk
cmp -s "$WORK/srv-rm-junk/download/update.pak" <(printf 'not a list') || cli_fail removal-unreadable-list "the list was replaced"

# The sample settings of the reference plug-in read the tree a default publish writes.
sample_ini="$(cd "$(dirname "$0")/../.." && pwd)/platformcfg/reference/updatecfg.ini"
ini_value() { sed -n "s/^$1 *= *//p" "$sample_ini" | tr -d '\r'; }
expect sample-ini-publish 0 'published 4 files to .*' 'carries no version information' -- publish v2 srv-sample --tool-version 224 --tool v2/readme.txt
for case in "list:ftp directory:update.pak" "version-file:file version:" "tool:file update:"; do
    IFS=: read -r name key suffix <<< "$case"
    path="$(ini_value "$key")$suffix"
    [ -f "$WORK/srv-sample/$path" ] || cli_fail "sample-ini-$name" "'$key' leads to '$path', which publish did not write"
done
# A plain publication announces the plug-in version the sample settings report, so the
# shipped plug-in stays; a missing one would read as 0 and send every run after 0_updatecfg.dll.
expect sample-ini-plain-publish 0 $'published 4 files to .*\nfor every platform\nversion file: update.exe 2.23, plug-in 1.00 .*' '' -- publish v2 srv-plain
announced="$(sed -n 2p "$WORK/srv-plain/$(ini_value 'file version')" | tr -d '\r')"
[ "$announced" = "$(ini_value 'platfrom version')" ] ||
    cli_fail sample-ini-plain-publish "the version file announces plug-in '$announced', the sample plug-in reports '$(ini_value 'platfrom version')'"

# publish says which platform's installations take the files.
expect publish-says-platform 0 $'published 4 files to .*\nfor platform \'win\' only: installations whose plug-in\'s platfrom string is \'win\' take these files.*' '' -- publish v2 srv-platform-said --platform WIN

# A version file announcing more than the published tool's own version makes every start
# fetch that tool again: refused before anything is written. The fixtures carry the fixed
# file information of a version resource (key, padding, signature, file version) as a
# Windows program does.
version_resource() {  # FILE MAJOR MINOR
    { printf 'MZ\0\0\0\0'
      printf 'V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0\0\0'
      printf '\xbd\x04\xef\xfe\x00\x00\x01\x00'
      printf "\\x$(printf %02x "$3")\\x00\\x$(printf %02x "$2")\\x00"
      printf 'rest of the program'; } > "$WORK/$1"
}
version_resource good-tool-2.23.exe 2 23
version_resource good-tool-2.24.exe 2 24
for case in "above-own:224:good-tool-2.23.exe:2:is above the version of 'good-tool-2.23.exe' \\(223\\)" \
            "equal-own:224:good-tool-2.24.exe:0:" \
            "below-own:223:good-tool-2.24.exe:0:" \
            "no-version-information:224:v2/readme.txt:0:carries no version information"; do
    IFS=: read -r name version tool code why <<< "$case"
    if [ "$code" = 0 ]; then out='published 4 files to .*'; else out=''; fi
    expect "tool-version-$name" "$code" "$out" "$why" -- publish v2 "srv-tool-$name" --tool-version "$version" --tool "$tool"
done
[ ! -e "$WORK/srv-tool-above-own" ] || cli_fail tool-version-above-own "the refused publication wrote a tree"

# Names are published as the GBK players read: a UTF-8 name (a Linux tree) is refused unless
# --utf8-names converts it; a name that is neither is refused either way.
utf8_zh="$(printf '\xe4\xb8\xad\xe6\x96\x87')"  # two Chinese characters in UTF-8 ...
gbk_zh="$(printf '\xd6\xd0\xce\xc4')"             # ... and the same two in GBK
mkdir -p "$WORK/bad-utf8-name/data" "$WORK/bad-utf8-folder/$utf8_zh" "$WORK/good-gbk-name/data" \
         "$WORK/bad-no-gbk-form" "$WORK/bad-neither" "$WORK/good-utf8-loose"
printf 'x' > "$WORK/bad-utf8-name/data/$utf8_zh.txt"
printf 'x' > "$WORK/bad-utf8-folder/$utf8_zh/a.txt"
printf 'x' > "$WORK/good-gbk-name/data/$gbk_zh.txt"
printf 'x' > "$WORK/bad-no-gbk-form/$(printf '\xf0\x9f\x98\x80').txt"
printf 'x' > "$WORK/bad-neither/$(printf 'a\x80b').txt"
printf 'x' > "$WORK/good-utf8-loose/$utf8_zh.txt"
printf '%s.txt\r\n' "$utf8_zh" > "$WORK/good-utf8-loose/.unpack"
#    case                         exit stdout                        stderr                                             arguments
expect names-utf8-refused           1 ''                             "the name of 'bad-utf8-name/data/$utf8_zh.txt' is UTF-8.*--utf8-names" -- publish bad-utf8-name srv-names-refused
expect names-utf8-folder-refused    1 ''                             "the name of 'bad-utf8-folder/$utf8_zh' is UTF-8"   -- publish bad-utf8-folder srv-names-refused
expect names-neither-refused        1 ''                             "is not GBK text"                                  -- publish bad-neither srv-names-refused
expect names-olp-utf8-refused       1 ''                             "the name of 'bad-utf8-name/data/$utf8_zh.txt' is UTF-8" -- olp bad-utf8-name refused-names.olp
expect names-no-gbk-form            1 ''                             "has no GBK form"                                  -- publish bad-no-gbk-form srv-names-refused --utf8-names
expect names-neither-not-utf8       1 ''                             "is not UTF-8 text"                                -- publish bad-neither srv-names-refused --utf8-names
[ ! -e "$WORK/srv-names-refused" ] && [ ! -e "$WORK/refused-names.olp" ] || cli_fail names-refused-writes-nothing "a refused publication wrote files"
# Checks that the update list of SERVERDIR holds the record KIND NAME.
check_list_record() {
    local case="$1" server="$2" kind="$3" name="$4" list
    (cd "$WORK" && "$PAKTOOL" extract "$server/download/update.pak" update.inf names-list.txt >/dev/null 2>&1) ||
        { cli_fail "$case" "no update list"; return; }
    list="$(cat "$WORK/names-list.txt")"
    [[ "$list" == *"$kind"$'\r\n'"$name"$'\r\n'* ]] || cli_fail "$case" "the list has no $kind record for the GBK name"
}
expect names-gbk                    0 'published 1 files to .*'      ''  -- publish good-gbk-name srv-names-gbk
check_list_record names-gbk srv-names-gbk pack "data/$gbk_zh.txt"
expect names-utf8-converted         0 'published 1 files to .*'      ''  -- publish bad-utf8-name srv-names-utf8 --utf8-names
check_list_record names-utf8-converted srv-names-utf8 pack "data/$gbk_zh.txt"
expect names-utf8-loose-converted   0 'published 1 files to .*'      ''  -- publish good-utf8-loose srv-names-loose --utf8-names
check_list_record names-utf8-loose-converted srv-names-loose unpack "$gbk_zh.txt"
expect names-olp-utf8-converted     0 'packaged 1 files into names.olp' '' -- olp bad-utf8-name names.olp --utf8-names

# Publications that would break an installation or a package are refused before anything
# is written, naming the files at fault. Each bad-... folder holds one fault beside a
# harmless file; LOOSE lists the names that go into its .unpack.
make_game() {
    local dir="$1" loose="$2"
    shift 2
    mkdir -p "$WORK/$dir/data"
    printf 'harmless' > "$WORK/$dir/data/ok.txt"
    local f
    for f in "$@"; do
        mkdir -p "$(dirname "$WORK/$dir/$f")"
        printf '%s' "$f" > "$WORK/$dir/$f"
    done
    [ -z "$loose" ] || printf '%s\r\n' $loose > "$WORK/$dir/.unpack"
}
# data/f0106862.bin and data/f1370800.bin share one id; data/ciemorp has the id of update.inf.
make_game bad-same-id '' data/f0106862.bin data/f1370800.bin
make_game bad-manifest-id '' data/ciemorp
make_game bad-pack-manifest '' update.inf
make_game bad-pack-publication '' Publication.num
make_game bad-loose-manifest 'update.inf' update.inf
make_game bad-loose-pack 'patch.dat' patch.dat
make_game bad-loose-pack-copy 'PATCH.DATtmp' PATCH.DATtmp
make_game good-reserved-elsewhere 'data/patch.dat data/update.inf' data/patch.dat data/update.inf patch.dat
# data/gone.txt holds exactly the delete marker: in the pack it would remove itself.
make_game bad-delete-marker '' data/gone.txt
printf 'DeleteMe' > "$WORK/bad-delete-marker/data/gone.txt"
make_game good-delete-marker-loose 'data/gone.txt' data/gone.txt
printf 'DeleteMe' > "$WORK/good-delete-marker-loose/data/gone.txt"
for cmd in publish olp; do
    out=refused.$cmd
    expect $cmd-delete-marker 2 '' "'bad-delete-marker/data/gone.txt' holds exactly the 8 bytes \"DeleteMe\"" -- $cmd bad-delete-marker $out
    expect $cmd-delete-marker-loose 0 '.* 2 files .*' '' -- $cmd good-delete-marker-loose loose-marker.$cmd
    expect $cmd-same-id 2 '' "'bad-same-id/data/f0106862.bin' and 'bad-same-id/data/f1370800.bin' have the same id e6ec9da3" -- $cmd bad-same-id $out
    expect $cmd-manifest-id 2 '' "bad-manifest-id/data/ciemorp' would overwrite the installation's own 'update.inf' in patch.dat" -- $cmd bad-manifest-id $out
    expect $cmd-pack-publication 2 '' "bad-pack-publication/Publication.num' would overwrite the installation's own 'publication.num' in patch.dat" -- $cmd bad-pack-publication $out
    expect $cmd-loose-manifest 2 '' "(bad-loose-manifest/update.inf' would overwrite the installation's own 'update.inf'|reserves)" -- $cmd bad-loose-manifest $out
    expect $cmd-loose-pack 2 '' "bad-loose-pack/patch.dat' would overwrite the installation's own 'patch.dat'" -- $cmd bad-loose-pack $out
    expect $cmd-loose-pack-copy 2 '' "bad-loose-pack-copy/PATCH.DATtmp' would overwrite the installation's own 'patch.dattmp'" -- $cmd bad-loose-pack-copy $out
    [ ! -e "$WORK/$out" ] || cli_fail $cmd-refused-writes-nothing "$out was written"
    expect $cmd-reserved-elsewhere 0 '.* 4 files .*' '' -- $cmd good-reserved-elsewhere good.$cmd
done
expect publish-pack-manifest 2 '' "bad-pack-manifest/update.inf' would overwrite the installation's own 'update.inf'" -- publish bad-pack-manifest refused.publish
expect olp-pack-manifest 2 '' "reserves" -- olp bad-pack-manifest refused.olp

# Failures name the path at fault, on one stderr line; message boxes shown on the way are
# part of the run's report on stdout.
mkdir -p "$WORK/inst-pack-folder/patch.dat" "$WORK/inst-pack-damaged" "$WORK/inst-pack-damaged-yes" "$WORK/srv-empty"
printf 'not a pack' > "$WORK/inst-pack-damaged/patch.dat"
printf 'not a pack' > "$WORK/inst-pack-damaged-yes/patch.dat"
printf 'a file' > "$WORK/plain-file"
expect sync-pack-folder 1 '.*UPD_E_DATA' "'inst-pack-folder/patch.dat' is a folder, not a pack" -- sync srv1 inst-pack-folder
expect sync-pack-folder-yes 1 '.*UPD_E_OPEN_PACK' "'inst-pack-folder/patch.dat' is a folder, not a pack" -- sync srv1 inst-pack-folder --yes
expect sync-pack-damaged 1 '.*UPD_E_DATA' "'inst-pack-damaged/patch.dat' is not a readable pack.*--yes" -- sync srv1 inst-pack-damaged
# Answering yes to the question rebuilds it: nothing of it reads, so everything is fetched.
expect sync-pack-damaged-yes 0 '.*result: 0x00000000 UPD_DONE' '' -- sync srv1 inst-pack-damaged-yes --yes
expect sync-pack-damaged-yes-again 0 '.*result: 0x00000001 UPD_UP_TO_DATE' '' -- sync srv1 inst-pack-damaged-yes --repair
expect sync-server-missing 1 '.*UPD_E_FETCH' "server folder 'nowhere' does not exist" -- sync nowhere inst
expect sync-server-empty 1 '.*UPD_E_FETCH' "'srv-empty/download/update.pak' does not exist" -- sync srv-empty inst
expect sync-server-other-dir 1 '.*UPD_E_FETCH' "'srv1/elsewhere/update.pak' does not exist" -- sync srv1 inst --dir elsewhere
expect sync-server-file 1 '.*UPD_E_FETCH' "server folder 'plain-file' is a file, not a folder" -- sync plain-file inst
expect apply-olp-missing 3 '' "package 'nowhere.olp' does not exist" -- apply-olp nowhere.olp inst2
expect apply-olp-folder 3 '' "package 'inst2' is a folder, not a file" -- apply-olp inst2 inst2
expect apply-olp-damaged 1 '.*UPD_E_DATA' "'junk.olp' is not a readable offline package" -- apply-olp junk.olp inst2
expect publish-game-file 3 '' "game folder 'plain-file' is a file, not a folder" -- publish plain-file srv3
expect olp-game-file 3 '' "game folder 'plain-file' is a file, not a folder" -- olp plain-file x.olp
expect publish-server-file 3 '' "server folder 'plain-file' is a file, not a folder" -- publish v2 plain-file
expect sync-install-file 3 '' "installation folder 'plain-file' is a file, not a folder" -- sync srv1 plain-file
expect apply-olp-install-file 3 '' "installation folder 'plain-file' is a file, not a folder" -- apply-olp v2.olp plain-file

# A package that lacks the member of one of its records installs the rest but does not
# report success.
if "$PAKTOOL" --help 2>/dev/null | grep -q '^  delete '; then
    mkdir -p "$WORK/inst-lacking"
    expect sync-inst-lacking-v1 0 '.*UPD_DONE' '.*' -- sync srv1 inst-lacking --yes
    cp "$WORK/v2.olp" "$WORK/bad-lacking-member.olp"
    expect olp-drop-member 0 '.*' '' -- delete bad-lacking-member.olp data/new/added.txt
    expect apply-olp-lacking-member 1 '.*UPD_PACKAGE_APPLIED' "1 files were not installed: the first is 'data/new/added.txt'" -- apply-olp bad-lacking-member.olp inst-lacking --platform win
    cmp -s "$WORK/inst-lacking/readme.txt" "$WORK/v2/readme.txt" || cli_fail apply-olp-lacking-member "readme.txt is not v2's"
else
    skip apply-olp-lacking-member "no delete command in this paktool"
fi

# A read-only installation: the run cannot write the new pack and says where. As root, the
# run is made as an unprivileged user (root writes anywhere); without a way to do that, skip.
expect olp-v1 0 'packaged 3 files into v1.olp' '' -- olp v1 v1.olp
cp -r "$WORK/inst" "$WORK/inst-read-only"
chmod -R a-w "$WORK/inst-read-only"
real_paktool="$PAKTOOL"
if [ "$(id -u)" = 0 ]; then
    if command -v setpriv >/dev/null 2>&1; then
        chmod 755 "$WORK"
        printf '#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups "%s" "$@"\n' "$real_paktool" > "$WORK/paktool-unprivileged"
        chmod 755 "$WORK/paktool-unprivileged"
        PAKTOOL="$WORK/paktool-unprivileged"
    else
        PAKTOOL=""
    fi
fi
if [ -n "$PAKTOOL" ]; then
    expect sync-read-only-install 1 '.*UPD_E_REBUILD_PACK' "installation folder 'inst-read-only' is not writable" -- sync srv1 inst-read-only
    expect apply-olp-read-only-install 1 '.*UPD_E_REBUILD_PACK' "installation folder 'inst-read-only' is not writable" -- apply-olp v1.olp inst-read-only
else
    skip sync-read-only-install "running as root without setpriv"
fi
PAKTOOL="$real_paktool"
chmod -R u+w "$WORK/inst-read-only"

cli_finish
