# Stage counting for scripts/test.sh (sourced). A stage is a command run with run_stage;
# its own exit status, and nothing else, decides whether it counts as passed.
#   run_stage NAME COMMAND [ARGS...]   runs COMMAND and records NAME as passed or failed
#   stage_result NAME STATUS           records a stage whose status is already known
#   stages_summary                     prints the failed names and "N passed, N failed";
#                                      its status is 0 only when no stage failed

passed=0
failed=0
failed_names=()
STAGE_START_SECONDS=$SECONDS

stage_result() {
  local name=$1 status=$2 took=$((SECONDS - STAGE_START_SECONDS))
  STAGE_START_SECONDS=$SECONDS
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "-- stage passed: $name (${took} s)"
  else
    failed=$((failed + 1))
    failed_names+=("$name")
    echo "-- stage FAILED: $name (exit $status, ${took} s)"
  fi
}

# The status is taken straight after the command, before the name is used, so nothing
# expanded in the name (a command substitution) can stand in for it.
run_stage() {
  local name=$1 status
  shift
  "$@"
  status=$?
  stage_result "$name" "$status"
  return "$status"
}

stages_summary() {
  local name
  for name in "${failed_names[@]+"${failed_names[@]}"}"; do
    echo "failed: $name"
  done
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
