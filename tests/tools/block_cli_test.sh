#!/bin/bash
# paktool's frame and its block and md5 commands, driven from the command line.
# Usage: block_cli_test.sh PAKTOOL
source "$(dirname "$0")/cli_harness.sh"
cli_init "$@"

# --- fixtures -----------------------------------------------------------------------------
make_text good-text-64k.bin 65536
make_bytes good-random-64k.bin 65536
make_bytes good-random-1.bin 1 7
make_bytes good-random-4k.bin 4096 3
make_text good-text-100.bin 100
make_bytes bad-oversize-65537.bin 65537
make_bytes bad-oversize-packed.bin 66580
: > "$WORK/good-empty.bin"
printf 'abc' > "$WORK/good-abc.txt"
make_bytes good-random-70000.bin 70000 99
mkdir "$WORK/a-directory"

# --- frame ----------------------------------------------------------------------------------
expect help                  0 '.*block decode.*block encode.*md5.*Exit codes.*' '' -- --help
expect help_short            0 'Usage: paktool.*' '' -- -h
expect no_command            2 '' 'no command given' --
expect unknown_command       2 '' "unknown command 'frobnicate'" -- frobnicate
expect block_needs_subcmd    2 '' "'block' needs one of: decode, encode" -- block
expect block_bad_subcmd      2 '' "'block' needs one of" -- block squash
expect command_help          0 'Usage: paktool block encode -m METHOD IN OUT.*' '' -- block encode --help
expect command_help_after_dd 2 '' 'expected 2 arguments' -- block encode -m 0 -- --help
expect version               0 'paktool [0-9]+ .*' '' -- --version
expect command_help_options   0 $'Usage: paktool block encode .*\nOptions:\n  -m, --method METHOD\n      [^\n]+' '' -- block encode --help
expect command_help_no_option 0 $'Usage: paktool md5 FILE\n.*\nOptions: none' '' -- md5 --help

# Every option a command accepts is in its own help. The candidates are all options any
# command's usage shows; a command accepts one when its parser does not call it unknown.
commands="$("$PAKTOOL" --help | sed -n 's/^  \([a-z][a-z0-9-]*\( [a-z][a-z0-9-]*\)\?\)\( .*\)\?$/\1/p' |
            grep -v '^help$')"
candidates="$("$PAKTOOL" --help | grep -o -- '--[a-z][a-z-]*' | grep -vx -- '--help\|--version' | sort -u)"
while IFS= read -r command; do
    # shellcheck disable=SC2086
    help_text="$("$PAKTOOL" $command --help 2>&1)"
    for option in $candidates; do
        # shellcheck disable=SC2086
        refusal="$(cd "$WORK" && timeout 10 "$PAKTOOL" $command "$option" 2>&1 >/dev/null)"
        case "$refusal" in *"unknown option '$option'"*) continue ;; esac
        printf '%s\n' "$help_text" | grep -q -- "^  \(-., \)\?$option\b" ||
            cli_fail "command-help-lists-$command-${option#--}" "'$command' accepts $option but its help does not list it"
    done
    # Each option line is followed by a line saying what the option does.
    while IFS= read -r option; do
        cli_fail "command-help-describes-$command-${option#--}" "'$command --help' lists $option without saying what it does"
    done < <(printf '%s\n' "$help_text" | awk '
        /^  -/ { if (pending != "") print pending; pending = $1; next }
        pending != "" && /^      [^ ]/ { pending = ""; next }
        pending != "" { print pending; pending = "" }
        END { if (pending != "") print pending }')
done <<< "$commands"

# --- md5 ------------------------------------------------------------------------------------
expect md5_empty_file        0 'd41d8cd98f00b204e9800998ecf8427e' '' -- md5 good-empty.bin
expect md5_abc               0 '900150983cd24fb0d6963f7d28e17f72' '' -- md5 good-abc.txt
reference="$(md5sum < "$WORK/good-random-70000.bin" | cut -d' ' -f1)"
expect md5_matches_md5sum    0 "$reference" '' -- md5 good-random-70000.bin
expect md5_missing_file      3 '' "cannot open file 'missing.bin'" -- md5 missing.bin
expect md5_directory         3 '' "cannot open file 'a-directory'" -- md5 a-directory
expect md5_no_argument       2 '' 'expected 1 argument, got 0 \(usage: paktool md5 FILE\)' -- md5
expect md5_two_arguments     2 '' 'expected 1 argument, got 2' -- md5 good-abc.txt good-abc.txt
expect md5_unknown_option    2 '' "unknown option '-x'" -- md5 -x good-abc.txt

# --- block encode / decode: command-line errors ------------------------------------------
expect enc_missing_input     3 '' "cannot open input 'missing.bin'" -- block encode -m 0 missing.bin out.bin
expect enc_no_method         2 '' 'option -m METHOD is required' -- block encode good-abc.txt out.bin
expect enc_method_too_big    2 '' "unknown method '3'" -- block encode -m 3 good-abc.txt out.bin
expect enc_method_too_small  2 '' "unknown method '-3'" -- block encode -m -3 good-abc.txt out.bin
expect enc_method_word       2 '' "unknown method 'gzip'" -- block encode -m gzip good-abc.txt out.bin
expect enc_method_trailing   2 '' "unknown method '1x'" -- block encode -m 1x good-abc.txt out.bin
expect enc_method_no_value   2 '' 'option -m needs a value' -- block encode good-abc.txt out.bin -m
expect enc_method_twice      2 '' 'option --method given twice' -- block encode -m 0 --method 0 good-abc.txt out.bin
expect enc_unknown_option    2 '' "unknown option '--level'" -- block encode --level=9 -m 0 good-abc.txt out.bin
expect enc_one_path          2 '' 'expected 2 arguments, got 1' -- block encode -m 0 good-abc.txt
expect enc_oversize_input    2 '' "input 'bad-oversize-65537.bin' is 65537 bytes, more than the 65536 allowed" -- \
    block encode -m 0 bad-oversize-65537.bin out.bin
expect enc_full_block_stored 0 '65536' '' -- block encode -m stored good-random-64k.bin stored-64k.pak
expect enc_long_method_form  0 '3' '' -- block encode --method=0 good-abc.txt stored-abc.pak
expect dec_no_size           2 '' 'option -n PLAINSIZE is required' -- block decode -m 0 stored-abc.pak out.bin
expect dec_size_too_big      2 '' "-n expects an integer from 0 to 65536, not '65537'" -- block decode -m 0 -n 65537 stored-abc.pak out.bin
expect dec_size_negative     2 '' "not '-1'" -- block decode -m 0 -n -1 stored-abc.pak out.bin
expect dec_size_not_number   2 '' "not '12abc'" -- block decode -m 0 -n 12abc stored-abc.pak out.bin
expect dec_size_hex          0 '' '' -- block decode -m 0 -n 0x3 stored-abc.pak hex-size.out
expect dec_oversize_input    2 '' "packed input 'bad-oversize-packed.bin' is 66580 bytes, more than the 66579 allowed" -- \
    block decode -m 0 -n 65536 bad-oversize-packed.bin out.bin
expect dec_missing_input     3 '' "cannot open packed input 'missing.pak'" -- block decode -m 0 -n 1 missing.pak out.bin
expect dec_stored_too_long   1 '' 'damaged block' -- block decode -m 0 -n 2 stored-abc.pak out.bin
expect dec_stored_too_short  1 '' "damaged block: 'stored-abc.pak' decodes to 3 bytes, not 4" -- \
    block decode -m 0 -n 4 stored-abc.pak out.bin

# A failed decode leaves an existing output file as it was, and no partial file behind.
printf 'keep me' > "$WORK/kept.out"
expect dec_failure_keeps_out 1 '' 'damaged block' -- block decode -m 0 -n 4 stored-abc.pak kept.out
if [ "$(cat "$WORK/kept.out")" != "keep me" ] || ls "$WORK"/*.partial >/dev/null 2>&1; then
    OUT="" ERR=""
    cli_fail dec_failure_keeps_out "the existing output file was changed or a partial file was left"
fi
expect enc_unwritable_output 3 '' "cannot create 'a-directory/none/out.pak.partial'" -- \
    block encode -m 0 good-abc.txt a-directory/none/out.pak

# --- every method: round trip, incompressible input, damaged input -------------------------
for method in lzma zlib stored lha lzo; do
    printf 'x' > "$WORK/probe.bin"
    if ! (cd "$WORK" && "$PAKTOOL" block encode -m "$method" probe.bin probe.pak >/dev/null 2>"$WORK/.probe"); then
        if grep -q 'not available in this build' "$WORK/.probe"; then
            skip "roundtrip_$method" "$(cat "$WORK/.probe")"
            continue
        fi
    fi
    for fixture in good-text-64k.bin good-random-4k.bin good-random-1.bin good-text-100.bin; do
        case="${method}_${fixture%.bin}"
        size="$(wc -c < "$WORK/$fixture")"
        expect "encode_$case" 0 '[0-9]+' '.*' -- block encode -m "$method" "$fixture" "$case.pak" || continue
        packed="$OUT"
        expect "decode_$case" 0 '' '' -- block decode -m "$method" -n "$size" "$case.pak" "$case.out" || continue
        if ! cmp -s "$WORK/$fixture" "$WORK/$case.out"; then
            cli_fail "roundtrip_$case" "decoded block differs from the input"
        fi
        if [ "$packed" != "$(wc -c < "$WORK/$case.pak")" ]; then
            cli_fail "packed_size_$case" "printed size $packed is not the size of the packed file"
        fi
    done
    if [ "$method" != stored ]; then
        expect "shrinks_text_$method" 0 '[0-9]{1,4}' '' -- block encode -m "$method" good-text-64k.bin shrink.pak
        expect "note_on_random_$method" 0 '[0-9]+' 'does not shrink' -- block encode -m "$method" good-random-4k.bin random.pak
        # A full incompressible block either codes to a block no smaller (with the note) or
        # does not fit the codec's output limit (an error); both say the writers store it plain.
        if (cd "$WORK" && "$PAKTOOL" block encode -m "$method" good-random-64k.bin full.pak >/dev/null 2>&1); then
            expect "full_random_$method" 0 '[0-9]+' 'store such a block plain' -- block encode -m "$method" good-random-64k.bin full.pak
        else
            expect "full_random_$method" 1 '' 'could not code the block .*store such a block plain' -- \
                block encode -m "$method" good-random-64k.bin full.pak
        fi
    fi
    # The first half of a packed block cannot decode to the whole block.
    [ -f "$WORK/${method}_good-text-64k.pak" ] || continue
    packed_size="$(wc -c < "$WORK/${method}_good-text-64k.pak")"
    head -c $((packed_size / 2)) "$WORK/${method}_good-text-64k.pak" > "$WORK/bad-truncated-$method.pak"
    expect "truncated_$method" 1 '' 'damaged block' -- block decode -m "$method" -n 65536 "bad-truncated-$method.pak" out.bin
    : > "$WORK/bad-empty.pak"
    expect "empty_packed_$method" 1 '' 'damaged block' -- block decode -m "$method" -n 100 bad-empty.pak out.bin
done

# A method 1 block whose first code-length table is no prefix code (three codes of length
# 1): the decoder's complaint is part of the single error line, not a line of its own.
printf '\x00\x01\x19\x24\x00\x00\x00\x00' > "$WORK/bad-table-lha.pak"
if [ -f "$WORK/lha_good-text-64k.pak" ]; then
    expect dec_lha_bad_table 1 '' "damaged block: method 1 \\(lha\\).*: Lha Decode: Bad table\$" -- \
        block decode -m lha -n 100 bad-table-lha.pak out.bin
else
    skip dec_lha_bad_table "method 1 not available in this build"
fi

# A device as the output is written to, never replaced by a regular file.
if [ -c /dev/null ]; then
    expect encode_to_device 0 '^[0-9]+$' '' -- block encode -m 0 good-text-64k.bin /dev/null
    if [ -c /dev/null ]; then echo "ok: device_still_a_device"; else
        echo "FAIL: device_still_a_device: /dev/null is no longer a character device"; exit 1; fi
fi

cli_finish
