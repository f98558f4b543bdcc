#!/usr/bin/env bash
# Configures (when needed) and builds one or more of the project's builds with Ninja:
#   host   g++, portable code, unit tests and benchmarks   -> build/host/bin/
#   host32 g++ -m32, the portable core's unit tests alone as a 32-bit program
#                                                             -> build/host32/bin/
#   fuzz   clang, the libFuzzer targets only                -> build/host-fuzz/bin/
#   win32  i686-w64-mingw32, the release                    -> build/win32/bin/
#   win64  x86_64-w64-mingw32, tests run under wine64       -> build/win64/bin/
#   win32-signed, win64-signed
#          update.exe alone of that Windows build, with the test publisher key of
#          tests/e2e/signing built in (it checks signatures; for tests/e2e/signed.sh)
#                                                             -> build/win32-signed/bin/ ...
#   all    host, fuzz, win32 and win64
# UPDATER_BUILD_ROOT overrides the build/ directory; UPDATER_JOBS the parallelism (2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPDATER_BUILD_ROOT:-$ROOT/build}
JOBS=${UPDATER_JOBS:-2}

# The test-only publisher key pair (paktool keygen) that the signed builds trust.
TEST_PUBLIC_KEY=$ROOT/tests/e2e/signing/test-publisher.public
PUBLIC_KEY_BYTES=32

usage() {
  echo "usage: $0 host|host32|fuzz|win32|win64|win32-signed|win64-signed|all ..." >&2
  exit 2
}

# Directory of a build target below the build root.
build_dir() {
  case $1 in
    fuzz) echo "$BUILD_ROOT/host-fuzz" ;;
    *) echo "$BUILD_ROOT/$1" ;;
  esac
}

# ccache, when installed, lets builds in several build roots share their objects.
launcher_options() {
  command -v ccache >/dev/null 2>&1 || return 0
  echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
}

# The test public key as the 64 hex digits of the CMake setting.
test_key_hex() {
  local size
  size=$(stat -c %s "$TEST_PUBLIC_KEY" 2>/dev/null) || { echo "$TEST_PUBLIC_KEY missing" >&2; return 1; }
  [ "$size" -eq "$PUBLIC_KEY_BYTES" ] || { echo "$TEST_PUBLIC_KEY is not a $PUBLIC_KEY_BYTES-byte key" >&2; return 1; }
  od -An -v -tx1 "$TEST_PUBLIC_KEY" | tr -d ' \n'
}

# The cross toolchain of a Windows build target (keyed or not).
toolchain_option() {
  case ${1%-signed} in
    win32) echo "-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/toolchain-mingw-i686.cmake" ;;
    win64) echo "-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/toolchain-mingw-x86_64.cmake" ;;
  esac
}

# CMake options of a build target.
configure_options() {
  local key
  launcher_options
  case $1 in
    host)  echo "-DUPDATER_BENCH=ON" ;;
    host32) echo "-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/toolchain-linux-i386.cmake" ;;
    fuzz)  echo "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DUPDATER_FUZZ=ON -DUPDATER_TESTS=OFF" ;;
    win32|win64) toolchain_option "$1" ;;
    win32-signed|win64-signed)
      key=$(test_key_hex) || return 1
      echo "$(toolchain_option "$1") -DUPDATER_TESTS=OFF -DUPDATER_PUBLISHER_KEY=$key" ;;
  esac
}

# The Ninja targets of a build target (none: everything).
build_targets() {
  case $1 in
    win32-signed|win64-signed) echo "--target update" ;;
    host32) echo "--target unit_tests" ;;
  esac
}

build_one() {
  local target=$1 dir
  dir=$(build_dir "$target")
  echo "== build $target ($dir)"
  # Configure once, and again when the options this script gives have changed.
  local options stamp=$dir/.configure-options
  options=$(configure_options "$target") || return 1
  if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$options" ]; then
    # shellcheck disable=SC2086
    cmake -S "$ROOT" -B "$dir" -G Ninja $options || return 1
    echo "$options" > "$stamp"
  fi
  # shellcheck disable=SC2046  # the targets, word by word
  cmake --build "$dir" -j "$JOBS" $(build_targets "$target")
}

[ $# -ge 1 ] || usage
targets=()
for arg in "$@"; do
  case $arg in
    host|host32|fuzz|win32|win64|win32-signed|win64-signed) targets+=("$arg") ;;
    all) targets+=(host fuzz win32 win64) ;;
    *) usage ;;
  esac
done
for target in "${targets[@]}"; do
  build_one "$target" || { echo "build $target failed" >&2; exit 1; }
done
