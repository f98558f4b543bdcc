#!/usr/bin/env bash
# The run command: sets up the machine, builds the host tools and the release, shows
# update.exe under Wine bringing a v1 installation of a small built-in sample game to v2 from
# a local FTP server (with screenshots of its window), then paktool at work on a small
# sample. Each demo step is one function listed in DEMO_STEPS; a summary closes the run.
# UPDATER_BUILD_ROOT overrides build/ (the screenshots go to its demo/ folder).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPDATER_BUILD_ROOT:-$ROOT/build}
export UPDATER_BUILD_ROOT=$BUILD_ROOT
PAKTOOL=$BUILD_ROOT/host/bin/paktool
# shellcheck source=host_i386.sh
source "$ROOT/scripts/host_i386.sh"
# The 32-bit release under the 32-bit Wine; on a machine whose kernel runs no 32-bit
# programs, the x86_64 build under wine64 instead (nothing 32-bit can start there, and the
# 32-bit Wine does not start through the qemu-i386 emulation either).
if host_runs_i386 && ! i386_through_qemu; then
  DEMO_ARCH=win32
else
  DEMO_ARCH=win64
  echo "note: this machine's kernel does not run 32-bit programs; the demo runs the x86_64 build under wine64"
fi
export DEMO_ARCH
WIN_BIN=$BUILD_ROOT/$DEMO_ARCH/bin
SHOT_DIR=$BUILD_ROOT/demo

# Compression methods of pack blocks, by number, with their names.
METHODS=(-2 -1 0 1 2)
declare -A METHOD_NAMES=([-2]="LZMA" [-1]="zlib" [0]="stored" [1]="LHA-style" [2]="LZO1X")
SAMPLE_ITEMS=400

DEMO_STEPS=(demo_window demo_block_methods demo_md5 demo_pack demo_update)

failures=0

# A deterministic sample of about 20 KB: a game item table, text that packs well.
write_sample() {
  local i
  for ((i = 0; i < SAMPLE_ITEMS; i++)); do
    printf 'item%04d\tname=sword_%d\tlevel=%d\tprice=%d\tweight=%d.%d\n' \
      "$i" $((i * 7 % 113)) $((i % 60 + 1)) $((i * i % 9973)) $((i % 17)) $((i % 10))
  done
}

# Each method codes the sample as one block and decodes it back.
demo_block_methods() {
  echo "== paktool block encode / decode, one block per method"
  local plain_size method packed back packed_size result
  plain_size=$(stat -c %s "$SAMPLE")
  printf '%-7s %-10s %10s %10s %8s  %s\n' method name plain packed ratio "round trip"
  for method in "${METHODS[@]}"; do
    packed=$WORK/sample.m$method
    back=$WORK/sample.m$method.back
    if ! packed_size=$("$PAKTOOL" block encode -m "$method" "$SAMPLE" "$packed" 2>"$WORK/err"); then
      printf '%-7s %-10s %10s %10s %8s  %s\n' "$method" "${METHOD_NAMES[$method]}" "$plain_size" - - \
        "FAILED: encode: $(head -n 1 "$WORK/err")"
      failures=$((failures + 1))
      continue
    fi
    result=ok
    if ! "$PAKTOOL" block decode -m "$method" -n "$plain_size" "$packed" "$back" 2>"$WORK/err"; then
      result="FAILED: decode: $(head -n 1 "$WORK/err")"
    elif ! cmp -s "$SAMPLE" "$back"; then
      result="FAILED: decoded bytes differ"
    fi
    [ "$result" = ok ] || failures=$((failures + 1))
    printf '%-7s %-10s %10s %10s %7s%%  %s\n' "$method" "${METHOD_NAMES[$method]}" "$plain_size" \
      "$packed_size" $((packed_size * 100 / plain_size)) "$result"
  done
}

demo_md5() {
  echo "== paktool md5"
  local digest
  if digest=$("$PAKTOOL" md5 "$SAMPLE"); then
    echo "sample: $digest (md5sum: $(md5sum < "$SAMPLE" | cut -d' ' -f1))"
  else
    echo "FAILED: paktool md5"
    failures=$((failures + 1))
  fi
}

# A demo script of its own, run as SCRIPT PAKTOOL SCRATCHDIR, when the tree has it.
run_demo_script() {
  local script=$ROOT/scripts/$1
  [ -f "$script" ] || return 0
  mkdir -p "$WORK/$1"
  if ! bash "$script" "$PAKTOOL" "$WORK/$1"; then
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}

# Packs: make, list, change, delete, verify, extract.
demo_pack() {
  echo "== paktool pack commands"
  run_demo_script demo-pack.sh
}

# Publishing and updating an installation online and offline.
demo_update() {
  echo "== paktool publish and update"
  run_demo_script demo-update.sh
}

# The product: update.exe (the 32-bit release) under Wine updates a v1 installation.
demo_window() {
  echo "== update.exe brings an installation from v1 to v2"
  if ! bash "$ROOT/scripts/demo-window.sh" "$PAKTOOL" "$WIN_BIN" "$SHOT_DIR" "$WORK/window" \
      "$WORK/summary.txt"; then
    echo "FAILED: update.exe demo"
    failures=$((failures + 1))
  fi
}

now() { date +%s; }

summary() {
  echo "== summary"
  echo "set-up and builds (host, $DEMO_ARCH): $((BUILDS_DONE - STARTED))s; demo steps: $(($(now) - BUILDS_DONE))s"
  [ -f "$WORK/summary.txt" ] && cat "$WORK/summary.txt"
  echo "paktool: block codecs, md5, pack commands, publish/sync/olp on a sample"
}

STARTED=$(now)
if [ "$(id -u)" -eq 0 ]; then
  bash "$ROOT/scripts/setup.sh" || exit 1
fi
bash "$ROOT/scripts/build.sh" host "$DEMO_ARCH" || exit 1
BUILDS_DONE=$(now)

WORK=$(mktemp -d /tmp/kvo-demo.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
SAMPLE=$WORK/sample.txt
write_sample > "$SAMPLE"

echo
for step in "${DEMO_STEPS[@]}"; do
  "$step"
  echo
done
summary
echo
if [ "$failures" -ne 0 ]; then
  echo "demo: $failures step(s) failed"
  exit 1
fi
echo "demo: all steps worked"
