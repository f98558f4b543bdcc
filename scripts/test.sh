#!/usr/bin/env bash
# Everything on one command: set-up, all builds, every test.
#   stages: host unit tests (ctest), the portable core's unit tests built with -m32 (a
#           32-bit program: through the qemu-i386 registration where the kernel runs no
#           32-bit programs), fuzz smoke runs, the win32 release build (with its unit
#           tests and the plug-in built with the other compiler's ABI), the i686 unit tests
#           under wine32, the win64 unit tests under wine64, and each executable
#           tests/e2e/*.sh under wine32 with the release, then under wine64; before each
#           architecture's e2e tests, its update.exe with the test publisher key built in
#           (build.sh win32-signed / win64-signed, for tests/e2e/signed.sh)
# Ends with the line "N passed, N failed" counting the stages; exits non-zero if any failed.
# UPDATER_BUILD_ROOT overrides build/; the set-up runs only as root (CI), otherwise it is
# checked and skipped.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPDATER_BUILD_ROOT:-$ROOT/build}
export UPDATER_BUILD_ROOT=$BUILD_ROOT
WINE_TESTS_TIMEOUT_SECONDS=${WINE_TESTS_TIMEOUT_SECONDS:-1800}
E2E_TIMEOUT_SECONDS=${E2E_TIMEOUT_SECONDS:-1200}

START_SECONDS=$SECONDS
# shellcheck source=stages.sh
source "$ROOT/scripts/stages.sh"
# shellcheck source=host_i386.sh
source "$ROOT/scripts/host_i386.sh"

finish() {
  echo
  echo "== summary ($((SECONDS - START_SECONDS)) s)"
  stages_summary
  exit $?
}

build() {
  bash "$ROOT/scripts/build.sh" "$1"
}

# wine32_unusable: prints why the 32-bit Wine cannot run here and succeeds, or fails when
# it can. A kernel that runs 32-bit programs itself always counts as able (a broken set-up
# there must fail its stages); through the qemu-i386 registration the loader answers but
# Wine may not start, so a 32-bit Windows program is run under it with a time limit.
wine32_unusable() {
  if ! host_runs_i386; then
    echo "this machine's kernel does not run 32-bit programs"
  elif i386_through_qemu && ! WINEPREFIX=$(wine_prefix win32) wine32_starts "$BUILD_ROOT/win32/bin/paktool.exe" --version; then
    echo "32-bit programs run here only through qemu-i386, where the 32-bit Wine did not run a 32-bit" \
         "Windows program within ${WINE32_START_SECONDS} s"
  else
    return 1
  fi
}

run_host_tests() {
  build host || return 1
  echo "== host unit tests"
  (cd "$BUILD_ROOT/host" && ctest --output-on-failure -j2)
}

# The portable core's unit tests as a 32-bit program: 32-bit size_t and file offsets, and a
# 2 GB address space, as in the 32-bit release.
run_host32_tests() {
  build host32 || return 1
  echo "== host unit tests as a 32-bit program (-m32)"
  "$BUILD_ROOT/host32/bin/unit_tests" --gtest_brief=1
}

run_fuzz_smoke() {
  build fuzz || return 1
  echo "== fuzz smoke runs"
  bash "$ROOT/scripts/fuzz-smoke.sh"
}

# The Wine prefix of an architecture (win32 or win64): one each, as a prefix has one.
wine_prefix() { echo "$WINE_WORK/prefix-$1"; }

# run_wine_tests ARCH: the unit tests of that build under that Wine, with the scripted HTTP
# server on the host for the HTTP session's tests (a Windows program cannot start it).
run_wine_tests() {
  local arch=$1 server port rc
  echo "== $arch unit tests under wine${arch#win}"
  coproc FAULT_SERVER { exec /usr/bin/python3 "$ROOT/tests/net/http_fault_server.py"; }
  server=$FAULT_SERVER_PID
  read -r -t 10 port <&"${FAULT_SERVER[0]}" || port=
  KVO_HTTP_FAULT_BASE=${port:+http://127.0.0.1:$port/} KVO_WINE_ARCH=$arch WINEPREFIX=$(wine_prefix "$arch") \
    timeout "$WINE_TESTS_TIMEOUT_SECONDS" \
    bash "$ROOT/scripts/wine-run.sh" "$BUILD_ROOT/$arch/bin/unit_tests.exe" --gtest_brief=1
  rc=$?
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  return $rc
}

# run_e2e ARCH SCRIPT
run_e2e() {
  local arch=$1 script=$2
  echo "== e2e $(basename "$script") under wine${arch#win}"
  KVO_WINE_ARCH=$arch WINEPREFIX=$(wine_prefix "$arch") BUILD_WIN=$BUILD_ROOT/$arch/bin \
    BUILD_WIN_SIGNED=$BUILD_ROOT/$arch-signed/bin BUILD_HOST=$BUILD_ROOT/host/bin REPO_ROOT=$ROOT \
    timeout "$E2E_TIMEOUT_SECONDS" "$script" </dev/null
}

# run_all_e2e ARCH: the keyed update.exe of that architecture, then every e2e script.
run_all_e2e() {
  local arch=$1 script
  run_stage "$arch-signed build (update.exe with the test key)" build "$arch-signed"
  for script in "$ROOT"/tests/e2e/*.sh; do
    [ -f "$script" ] && [ -x "$script" ] || continue
    run_stage "e2e $(basename "$script") ($arch)" run_e2e "$arch" "$script"
  done
}

echo "== set-up"
if [ "$(id -u)" -eq 0 ]; then
  if ! bash "$ROOT/scripts/setup.sh"; then
    stage_result "set-up" 1
    finish
  fi
else
  echo "not root: set-up skipped (run scripts/setup.sh as root on a new machine)"
fi
echo "-- set-up done ($((SECONDS - STAGE_START_SECONDS)) s)"
STAGE_START_SECONDS=$SECONDS

# One Wine prefix per architecture for the whole run, removed at the end.
WINE_WORK=$(mktemp -d /tmp/kvo-test-wine.XXXXXX)
cleanup_wine() {
  local arch prefix
  for arch in win32 win64; do
    prefix=$(wine_prefix "$arch")
    if [ -d "$prefix" ]; then
      WINEPREFIX=$prefix "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k >/dev/null 2>&1 || true
    fi
  done
  rm -rf "$WINE_WORK"
}
trap cleanup_wine EXIT

run_stage "stage counting self-test" bash "$ROOT/scripts/stages_selftest.sh"
run_stage "host unit tests (ctest)" run_host_tests
run_stage "host unit tests, 32-bit (-m32)" run_host32_tests
run_stage "fuzz smoke runs" run_fuzz_smoke

if build win32; then
  stage_result "win32 release build" 0
  if ! wine32_skip_reason=$(wine32_unusable); then
    run_stage "win32 unit tests under wine32" run_wine_tests win32
    run_all_e2e win32
  else
    # Checked, not assumed: nothing 32-bit can start, or the 32-bit Wine cannot.
    run_stage "win32-signed build (update.exe with the test key)" build win32-signed
    stage_skipped "win32 unit tests and e2e under wine32" \
      "$wine32_skip_reason; the x86_64 build is tested under wine64"
  fi
else
  stage_result "win32 release build" 1
fi

if build win64; then
  run_stage "win64 unit tests under wine64" run_wine_tests win64
  run_all_e2e win64
else
  stage_result "win64 build" 1
fi

finish
