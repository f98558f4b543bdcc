#!/bin/bash
# paktool publish, sync, olp and apply-olp from the command line: a publish -> sync round
# trip, an offline package applied, and the errors an operator may run into.
source "$(dirname "$0")/cli_harness.sh"
cli_init "$@"

# Like expect, for failing runs that show message boxes first: those arrive as note lines
# on stderr before the one error line.
expect_after_notes() {
    local name="$1" want_exit="$2" want_out="$3" want_err="$4"
    shift 5
    local code
    OUT="$(cd "$WORK" && "$PAKTOOL" "$@" 2>"$WORK/.stderr")"
    code=$?
    ERR="$(cat "$WORK/.stderr")"
    if [ "$code" != "$want_exit" ]; then cli_fail "$name" "exit code $code, expected $want_exit"; return 1; fi
    if ! printf '%s' "$OUT" | grep -qzE "^${want_out}\n?$"; then cli_fail "$name" "stdout does not match"; return 0; fi
    local last notes
    last="$(printf '%s\n' "$ERR" | tail -n 1)"
    notes="$(printf '%s\n' "$ERR" | head -n -1 | grep -vc '^paktool [a-z-]*: note: ')"
    if [ "$notes" != 0 ] || ! printf '%s' "$last" | grep -q "^paktool .*${want_err}"; then
        cli_fail "$name" "stderr must be notes and then one error line matching '$want_err'"
        return 0
    fi
    CLI_PASSED=$((CLI_PASSED + 1))
}

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

# Without --yes a missing pack is not rebuilt.
mkdir -p "$WORK/empty"
expect_after_notes sync-no-rebuild 1 '.*result: 0x80000003 UPD_E_DATA' 'UPD_E_DATA' -- sync srv1 empty
[ ! -e "$WORK/empty/patch.dat" ] || cli_fail sync-no-rebuild "patch.dat was created"

# An offline package of v2 applied to a v1 installation.
expect sync-inst2-v1 0 '.*UPD_DONE' '.*' -- sync srv1 inst2 --yes
expect olp-v2 0 'packaged 4 files into v2.olp' '' -- olp v2 v2.olp --platform 'win mac'
expect apply-olp-v2 0 '.*result: 0x00000002 UPD_PACKAGE_APPLIED' '' -- apply-olp v2.olp inst2 --platform win
cmp -s "$WORK/inst2/readme.txt" "$WORK/v2/readme.txt" || cli_fail apply-olp-v2-loose "readme.txt is not v2's"
expect_after_notes apply-olp-other-platform 1 '.*UPD_E_DATA' 'UPD_E_DATA' -- apply-olp v2.olp inst2 --platform linux
expect apply-olp-tool 0 '.*' '' -- olp v2 tool.olp --tool-version 224 --tool v2/readme.txt
expect_after_notes apply-olp-restart 1 '.*result: 0xFFFFFFFF UPD_RESTART_REQUESTED' 'RESTART' -- apply-olp tool.olp inst2
cmp -s "$WORK/inst2/update.exe" "$WORK/v2/readme.txt" || cli_fail apply-olp-restart "update.exe not written"

# Errors an operator may make.
printf 'not a package' > "$WORK/junk.olp"
expect apply-olp-junk 1 '.*UPD_E_DATA' 'UPD_E_DATA' -- apply-olp junk.olp inst2
expect apply-olp-no-install 3 '' 'does not exist' -- apply-olp v2.olp nowhere
expect publish-no-game 3 '' 'does not exist' -- publish nowhere srv3
expect publish-tool-alone 2 '' 'go together' -- publish v2 srv3 --tool update.exe
expect publish-bad-version 2 '' 'tool-version' -- publish v2 srv3 --tool-version x --tool v2/readme.txt
expect sync-no-server 1 '.*UPD_E_FETCH' 'UPD_E_FETCH' -- sync nowhere inst
expect sync-missing-arg 2 '' 'usage' -- sync srv1
mkdir -p "$WORK/reserved"
printf 'x' > "$WORK/reserved/update.inf"
expect olp-reserved-name 2 '' 'reserves' -- olp reserved r.olp

cli_finish
