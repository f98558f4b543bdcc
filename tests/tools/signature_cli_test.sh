#!/bin/bash
# paktool keygen, sign, verify-signature, and publish/olp with --sign: key files, signature
# files checked on their own (signature_check.py: the layout, SHA-256 and Ed25519 through
# PyNaCl), every refusal verify-signature reports, and the publication numbers.
source "$(dirname "$0")/cli_harness.sh"
cli_init "$@"
CHECK="/usr/bin/python3 $(cd "$(dirname "$0")" && pwd)/signature_check.py"
if ! /usr/bin/python3 -c 'import nacl.signing' 2>/dev/null; then
    CHECK=""
fi

# Checks FILE.sig on its own: signed as NAME in publication NUMBER with WORK/pub.
independent() {
    local case="$1" file="$2" name="$3" number="$4"
    if [ -z "$CHECK" ]; then
        skip "$case-independent" "no python3-nacl"
        return
    fi
    local why
    why="$(cd "$WORK" && $CHECK pub "$file" "$name" "$number")" || cli_fail "$case-independent" "$why"
}

# --- keys ---
expect keygen 0 'public key [0-9a-f]{64}' '' -- keygen sec pub
[ "$(stat -c %s "$WORK/sec")" = 64 ] && [ "$(stat -c %s "$WORK/pub")" = 32 ] || cli_fail keygen "key sizes"
[ "$(stat -c %a "$WORK/sec")" = 600 ] || cli_fail keygen "the secret key can be read by others"
[ "${OUT#public key }" = "$(od -An -tx1 -v "$WORK/pub" | tr -d ' \n')" ] || cli_fail keygen "printed key is not the public key file"
cp "$WORK/sec" "$WORK/sec.before"
expect keygen-keeps-existing-key 3 '' "'sec' already exists" -- keygen sec pub2
cmp -s "$WORK/sec" "$WORK/sec.before" || cli_fail keygen-keeps-existing-key "the secret key was replaced"
[ ! -e "$WORK/pub2" ] || cli_fail keygen-keeps-existing-key "pub2 was written"
expect keygen-other 0 'public key [0-9a-f]{64}' '' -- keygen other-sec other-pub
head -c 63 "$WORK/sec" > "$WORK/short-sec"
head -c 31 "$WORK/pub" > "$WORK/short-pub"

# --- sign and verify-signature ---
mkdir -p "$WORK/files"
make_bytes files/game.bin 200000 3
expect sign 0 "signed files/game.bin.sig as 'game.bin', publication 7" '' -- sign sec files/game.bin --number 7
independent sign files/game.bin game.bin 7
expect verify 0 "signature valid, publication 7, signed as 'game.bin'" '' -- verify-signature pub files/game.bin
expect sign-named 0 ".*as 'download/game.bin', publication 8" '' -- sign sec files/game.bin --number 8 --name download/game.bin
independent sign-named files/game.bin download/game.bin 8
expect verify-named 0 'signature valid, publication 8' '' -- verify-signature pub files/game.bin --name download/game.bin

cp "$WORK/files/game.bin" "$WORK/files/changed.bin"
cp "$WORK/files/game.bin.sig" "$WORK/files/changed.bin.sig"
printf 'x' | dd of="$WORK/files/changed.bin" bs=1 seek=100000 conv=notrunc status=none
cp "$WORK/files/game.bin" "$WORK/files/truncated.bin"
head -c -1 "$WORK/files/game.bin.sig" > "$WORK/files/truncated.bin.sig"
cp "$WORK/files/game.bin" "$WORK/files/unsigned.bin"
#    case                  exit stdout                       stderr                    arguments
expect verify-wrong-name      1 'signature wrong name'        "signed as 'download/game.bin', not as 'game.bin'" -- verify-signature pub files/game.bin --name game.bin
expect verify-wrong-file      1 'signature wrong file'        'wrong file'       -- verify-signature pub files/changed.bin --name download/game.bin
expect verify-other-key       1 'signature bad signature'     'bad signature'    -- verify-signature other-pub files/game.bin --name download/game.bin
expect verify-truncated       1 'signature malformed'         'malformed'        -- verify-signature pub files/truncated.bin --name download/game.bin
expect verify-no-signature    1 'signature missing'           'missing'          -- verify-signature pub files/unsigned.bin
expect verify-no-file         3 ''                            "cannot open file 'files/absent.bin'" -- verify-signature pub files/absent.bin
expect verify-short-key       2 ''                            "public key 'short-pub' is 31 bytes" -- verify-signature short-pub files/game.bin
expect sign-no-number         2 ''                            '--number is required' -- sign sec files/game.bin
expect sign-negative-number   2 ''                            '--number expects an integer' -- sign sec files/game.bin --number -1
expect sign-short-key         2 ''                            "secret key 'short-sec' is 63 bytes" -- sign short-sec files/game.bin --number 1
expect sign-public-as-secret  2 ''                            "secret key 'pub' is 32 bytes" -- sign pub files/game.bin --number 1
expect sign-no-file           3 ''                            "cannot read file 'files/absent.bin'" -- sign sec files/absent.bin --number 1
expect sign-name-too-long     2 ''                            '1 to 512 bytes, not 513' -- sign sec files/unsigned.bin --number 1 --name "$(printf 'n%.0s' $(seq 513))"
[ ! -e "$WORK/files/unsigned.bin.sig" ] || cli_fail sign-name-too-long "a signature was written"

# --- publish --sign: every file the publication writes is signed as the tool requests it ---
mkdir -p "$WORK/game/data"
make_text game/data/a.txt 3000
printf 'readme\r\n' > "$WORK/game/readme.txt"
printf 'new tool' > "$WORK/files/tool.exe"
printf 'new plug-in' > "$WORK/files/plugin.dll"
expect publish-signed 0 $'published 2 files to .*\nsigned as publication 1' 'files/tool.exe. carries no version information' -- \
    publish game srv --sign sec --tool-version 300 --tool files/tool.exe --plugin-version 10001 --plugin files/plugin.dll
for remote in download/update.pak download/version.txt download/update.exe download/10001_updatecfg.dll \
              download/data/a.txt download/readme.txt; do
    expect "publish-signed-$remote" 0 'signature valid, publication 1' '' -- verify-signature pub "srv/$remote" --name "$remote"
    independent "publish-signed-$remote" "srv/$remote" "$remote" 1
done
# Without --name a published file is checked under the name its signature holds: its path
# on the server, never its base name.
expect verify-published-default-name 0 "signature valid, publication 1, signed as 'download/data/a.txt'" '' -- verify-signature pub srv/download/data/a.txt
expect verify-published-default-name-other-key 1 'signature bad signature' "not signed as 'download/data/a.txt'" -- verify-signature other-pub srv/download/data/a.txt
expect publish-next-number 0 '.*signed as publication 2' '' -- publish game srv --sign sec
expect publish-next-number-pak 0 'signature valid, publication 2' '' -- verify-signature pub srv/download/update.pak --name download/update.pak
# A plug-in announced again without being given is signed anew under the new number: a
# signed installation takes only the version file's own publication.
expect publish-plugin-announced-again 0 '.*signed as publication 3' '' -- publish game srv --sign sec --plugin-version 10001
expect publish-plugin-resigned 0 'signature valid, publication 3' '' -- \
    verify-signature pub srv/download/10001_updatecfg.dll --name download/10001_updatecfg.dll
cmp -s "$WORK/srv/download/10001_updatecfg.dll" "$WORK/files/plugin.dll" ||
    cli_fail publish-plugin-resigned "the plug-in itself changed"
expect publish-given-number 0 '.*signed as publication 40' '' -- publish game srv --sign sec --number 40
expect publish-lower-number 1 '' 'publication 39 is not above the current 40.*--force' -- publish game srv --sign sec --number 39
expect publish-same-number 1 '' 'publication 40 is not above the current 40' -- publish game srv --sign sec --number 40
expect publish-number-kept 0 'signature valid, publication 40' '' -- verify-signature pub srv/download/update.pak --name download/update.pak
expect publish-lower-number-forced 0 '.*signed as publication 39' 'publication 39 is not above the current 40' -- publish game srv --sign sec --number 39 --force
expect publish-other-dir 0 '.*signed as publication 1' '' -- publish game srv --dir patch --sign sec
expect publish-other-dir-pak 0 'signature valid, publication 1' '' -- verify-signature pub srv/patch/update.pak --name patch/update.pak

expect publish-number-without-key 2 '' '--number needs --sign' -- publish game srv-none --number 3
expect publish-short-key 2 '' "secret key 'short-sec' is 63 bytes" -- publish game srv-none --sign short-sec
[ ! -e "$WORK/srv-none" ] || cli_fail publish-refused-writes-nothing "srv-none was written"
mkdir -p "$WORK/srv-bad/download"
printf 'not a signature' > "$WORK/srv-bad/download/update.pak.sig"
expect publish-unreadable-number 1 '' "update.pak.sig' is not a signature file.*give --number" -- publish game srv-bad --sign sec
[ ! -e "$WORK/srv-bad/download/update.pak" ] || cli_fail publish-unreadable-number "update.pak was written"
expect publish-unreadable-number-given 0 '.*signed as publication 9' '' -- publish game srv-bad --sign sec --number 9

expect publish-unsigned 0 'published 2 files to .*' '' -- publish game srv-plain
[ -z "$(find "$WORK/srv-plain" -name '*.sig')" ] || cli_fail publish-unsigned "an unsigned publication wrote signature files"

# --- a signed publication tried end to end: every signature of the tree, then sync --key ---
expect e2e-publish 0 '.*signed as publication 5' '' -- publish game srv-e2e --sign sec --number 5
cp -r "$WORK/srv-e2e" "$WORK/bad-changed-file"
printf 'changed' >> "$WORK/bad-changed-file/download/data/a.txt"
cp -r "$WORK/srv-e2e" "$WORK/bad-lacking-file"
rm "$WORK/bad-lacking-file/download/readme.txt" "$WORK/bad-lacking-file/download/readme.txt.sig"
cp -r "$WORK/srv-e2e" "$WORK/bad-forged-list"
cp -r "$WORK/game" "$WORK/game-forged"
printf 'not from the publisher' > "$WORK/game-forged/forged.txt"
expect e2e-publish-forged 0 '.*' '' -- publish game-forged bad-forged-list
rm -r "$WORK/game-forged"
valid_tree=$'valid, publication 5: download/data/a.txt\nvalid, publication 5: download/readme.txt\nvalid, publication 5: download/update.pak\nvalid, publication 5: download/version.txt'
#    case                               exit stdout                  stderr         arguments
expect verify-publication-good             0 "$valid_tree"            '' -- verify-publication --key pub srv-e2e
expect verify-publication-other-key        1 '.*'                     "4 files .* the first is 'download/data/a.txt' \(bad signature\)" -- verify-publication --key other-pub srv-e2e
expect verify-publication-changed-file     1 '.*wrong file: download/data/a.txt.*' "1 files .* 'download/data/a.txt' \(wrong file\)" -- verify-publication --key pub bad-changed-file
expect verify-publication-lacking-file     1 '.*missing: download/readme.txt.*' "1 files .* 'download/readme.txt' \(missing\)" -- verify-publication --key pub bad-lacking-file
expect verify-publication-forged-list      1 '.*wrong file: download/update.pak.*' "2 files .* do not check" -- verify-publication --key pub bad-forged-list
expect verify-publication-unsigned         1 '.*missing: download/update.pak.*' "\(missing\)" -- verify-publication --key pub srv-plain
expect verify-publication-no-key           2 ''                       '--key is required' -- verify-publication srv-e2e
expect verify-publication-no-list          3 ''                       "'files/download/update.pak' does not exist" -- verify-publication --key pub files
# Published names are GBK: a UTF-8 terminal is shown them in UTF-8, any other as they are.
gbk_zh="$(printf '\xd6\xd0\xce\xc4')"  # two Chinese characters in GBK ...
mkdir -p "$WORK/game-gbk"
printf 'x' > "$WORK/game-gbk/$gbk_zh.txt"
expect gbk-publish 0 '.*signed as publication 1' '' -- publish game-gbk good-gbk-names --sign sec --number 1
cp -r "$WORK/good-gbk-names" "$WORK/bad-gbk-lacking"
rm "$WORK/bad-gbk-lacking/download/$gbk_zh.txt"
for case in "utf8:C.UTF-8:中文" "zh-utf8:zh_CN.UTF-8:中文" "c:C:$gbk_zh"; do  # ... and in UTF-8
    IFS=: read -r name terminal text <<< "$case"
    LC_ALL="$terminal" expect "verify-publication-gbk-$name" 0 ".*valid, publication 1: download/${text}\.txt" '' -- verify-publication --key pub good-gbk-names
    LC_ALL="$terminal" expect "verify-publication-gbk-lacking-$name" 1 ".*missing: download/${text}\.txt.*" "first is 'download/${text}\.txt' \(missing\)" -- verify-publication --key pub bad-gbk-lacking
done
mkdir -p "$WORK/inst-signed" "$WORK/inst-other-key" "$WORK/inst-forged" "$WORK/inst-unsigned"
expect sync-key-good                       0 '.*result: 0x00000000 UPD_DONE' '.*' -- sync srv-e2e inst-signed --yes --key pub
expect sync-key-good-again                 0 '.*UPD_UP_TO_DATE'       '' -- sync srv-e2e inst-signed --key pub
for case in other-key:srv-e2e:other-pub forged:bad-forged-list:pub unsigned:srv-plain:pub; do
    IFS=: read -r name tree keyfile <<< "$case"
    expect "sync-key-$name" 1 '.*result: 0x80000003 UPD_E_DATA' 'UPD_E_DATA' -- sync "$tree" "inst-$name" --yes --key "$keyfile"
    [ -z "$(ls -A "$WORK/inst-$name")" ] || cli_fail "sync-key-$name" "the refused run installed something"
done
expect sync-key-short                      2 ''                       "public key 'short-pub' is 31 bytes" -- sync srv-e2e inst-signed --key short-pub

# --- olp --sign: the package is signed under the fixed name, whatever it is called later ---
expect olp-needs-number 2 '' '--sign needs --number' -- olp game pkg.olp --sign sec
expect olp-signed 0 $'packaged 2 files into pkg.olp\nsigned as publication 1' '' -- olp game pkg.olp --sign sec --number 1
independent olp-signed pkg.olp offline.olp 1
expect olp-given-number 0 '.*signed as publication 40' '' -- olp game pkg.olp --sign sec --number 40
mv "$WORK/pkg.olp" "$WORK/renamed.olp"
mv "$WORK/pkg.olp.sig" "$WORK/renamed.olp.sig"
expect olp-renamed 0 'signature valid, publication 40' '' -- verify-signature pub renamed.olp --name offline.olp
expect olp-unsigned 0 'packaged 2 files into plain.olp' '' -- olp game plain.olp
[ ! -e "$WORK/plain.olp.sig" ] || cli_fail olp-unsigned "an unsigned package got a signature file"

cli_finish
