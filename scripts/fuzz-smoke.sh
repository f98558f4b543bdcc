#!/usr/bin/env bash
# Short smoke run of every libFuzzer target in build/host-fuzz/bin (scripts/build.sh fuzz).
# Each runs for FUZZ_SECONDS (10) or FUZZ_RUNS (200000) inputs, whichever ends first, from
# fuzz/corpus/NAME/ when a seed corpus is kept there, else from a few generated seeds.
# Fails when any fuzzer finds a crash, a leak or a hang; the crashing inputs are kept in
# build/host-fuzz/artifacts/NAME/.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPDATER_BUILD_ROOT:-$ROOT/build}
FUZZ_DIR=$BUILD_ROOT/host-fuzz
FUZZ_SECONDS=${FUZZ_SECONDS:-10}
FUZZ_RUNS=${FUZZ_RUNS:-200000}
INPUT_TIMEOUT_SECONDS=10
MEMORY_LIMIT_MB=2048
SEED_RANDOM_BYTES=(1 16 64 512 4096)

# Fills directory $1 with small seeds: empty, all-zero and random inputs.
make_seeds() {
  local dir=$1 size
  : > "$dir/empty"
  head -c 64 /dev/zero > "$dir/zeros"
  for size in "${SEED_RANDOM_BYTES[@]}"; do
    head -c "$size" /dev/urandom > "$dir/random-$size"
  done
}

# The targets the build defines (fuzz-targets.txt); a removed target's old program in bin/
# is not run.
fuzzers=()
if [ -f "$FUZZ_DIR/fuzz-targets.txt" ]; then
  while read -r name; do
    [ -n "$name" ] || continue
    if [ -x "$FUZZ_DIR/bin/$name" ]; then
      fuzzers+=("$FUZZ_DIR/bin/$name")
    else
      echo "fuzz-smoke: $name is not built (run scripts/build.sh fuzz)" >&2
      exit 1
    fi
  done < "$FUZZ_DIR/fuzz-targets.txt"
fi
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "fuzz-smoke: no fuzz targets in $FUZZ_DIR/bin"
  exit 0
fi

work=$(mktemp -d /tmp/fuzz-smoke.XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=()
for f in "${fuzzers[@]}"; do
  name=$(basename "$f")
  corpus=$work/$name
  artifacts=$FUZZ_DIR/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  # The run adds inputs to its corpus: work on a copy, never in the source tree.
  if [ -d "$ROOT/fuzz/corpus/$name" ]; then
    cp -r "$ROOT/fuzz/corpus/$name/." "$corpus/"
  else
    make_seeds "$corpus"
  fi
  echo "== fuzz $name (${FUZZ_SECONDS}s or $FUZZ_RUNS runs)"
  if "$f" -max_total_time="$FUZZ_SECONDS" -runs="$FUZZ_RUNS" \
       -timeout="$INPUT_TIMEOUT_SECONDS" -rss_limit_mb="$MEMORY_LIMIT_MB" \
       -artifact_prefix="$artifacts/" -print_final_stats=0 \
       "$corpus" > "$work/$name.log" 2>&1; then
    tail -n 1 "$work/$name.log"
  else
    tail -n 40 "$work/$name.log"
    echo "fuzz-smoke: $name FAILED (inputs in $artifacts)"
    failed+=("$name")
  fi
done

echo "fuzz-smoke: $((${#fuzzers[@]} - ${#failed[@]})) of ${#fuzzers[@]} fuzz targets clean"
[ ${#failed[@]} -eq 0 ]
