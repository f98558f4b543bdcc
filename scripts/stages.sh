# Stage counting for scripts/test.sh (sourced). A stage is a command run with run_stage;
# its own exit status, and nothing else, decides whether it counts as passed.
#   run_stage NAME COMMAND [ARGS...]   runs COMMAND and records NAME as passed or failed
#   stage_result NAME STATUS           records a stage whose status is already known
#   stage_skipped NAME WHY             records a stage this machine cannot run, with the reason
#   stages_summary                     prints the failed names and "N passed, N failed";
#                                      its status is 0 only when no stage failed

passed=0
failed=0
skipped=0
failed_names=()
skipped_names=()
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

stage_skipped() {
  local name=$1 why=$2
  STAGE_START_SECONDS=$SECONDS
  skipped=$((skipped + 1))
  skipped_names+=("$name: $why")
  echo "-- stage SKIPPED: $name ($why)"
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
  for name in "${skipped_names[@]+"${skipped_names[@]}"}"; do
    echo "skipped: $name"
  done
  for name in "${failed_names[@]+"${failed_names[@]}"}"; do
    echo "failed: $name"
  done
  if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
  [ "$failed" -eq 0 ]
}
