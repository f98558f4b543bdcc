#!/usr/bin/env bash
# Self-test of the stage counting: a stage that fails must be counted failed, whatever its
# name expands to, and the summary must fail when any stage did.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

problems=0
expect() {
  local what=$1 want=$2 got=$3
  if [ "$want" != "$got" ]; then
    echo "stages self-test: $what: expected '$want', got '$got'"
    problems=$((problems + 1))
  fi
}

# Each case runs in a subshell with fresh counters: name | commands | passed | failed | summary status
run_case() {
  local case_name=$1 want_passed=$2 want_failed=$3 want_summary=$4
  shift 4
  local out
  out=$(
    # shellcheck source=stages.sh
    source "$ROOT/scripts/stages.sh"
    "$@" >/dev/null
    stages_summary >/dev/null
    echo "$passed $failed $?"
  )
  expect "$case_name" "$want_passed $want_failed $want_summary" "$out"
}

one_failing_stage_named_by_substitution() {
  run_stage "e2e $(basename /x/probe.sh) (win32)" false
}
one_passing_stage() { run_stage "ok" true; }
exit_code_kept() { run_stage "exit 7" sh -c 'exit 7'; }
mixed_stages() {
  run_stage "a" true
  run_stage "b $(basename /y/z.sh)" false
  run_stage "c" true
  stage_result "known failure" 1
}
no_stage() { :; }
skipped_stage_next_to_a_failure() {
  stage_skipped "wine32 tests" "no 32-bit support"
  run_stage "d" false
}
only_skipped() { stage_skipped "wine32 tests" "no 32-bit support"; }

run_case "a failing stage named by a command substitution" 0 1 1 one_failing_stage_named_by_substitution
run_case "a passing stage" 1 0 0 one_passing_stage
run_case "a non-zero exit other than 1" 0 1 1 exit_code_kept
run_case "passing and failing stages mixed" 2 2 1 mixed_stages
run_case "no stage at all" 0 0 0 no_stage
run_case "a skipped stage does not hide a failure" 0 1 1 skipped_stage_next_to_a_failure
run_case "a skipped stage is neither passed nor failed" 0 0 0 only_skipped

# run_stage hands the command's status back to its caller.
(
  source "$ROOT/scripts/stages.sh"
  run_stage "status" sh -c 'exit 3' >/dev/null
  [ $? -eq 3 ]
) || { echo "stages self-test: run_stage does not return the command's status"; problems=$((problems + 1)); }

if [ "$problems" -ne 0 ]; then
  echo "stages self-test: $problems problem(s)"
  exit 1
fi
echo "stages self-test: all cases counted right"
