# Sourced by the shell tests: counted checks, and the closing line.
#   check NAME COMMAND...   runs COMMAND quietly; a failure prints NAME
#   finish                  prints "N passed, N failed"; fails if any failed
passed=0 failed=0
check() {
  local name=$1
  shift
  if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed == 0 ]]
}
