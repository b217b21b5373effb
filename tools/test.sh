#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: plainly, under AddressSanitizer with
# UndefinedBehaviorSanitizer, the package (the release preset builds only what the package holds:
# the benchmarks, built from the release tree by hand, are left out) and the board's threads under
# ThreadSanitizer, each with as many tests at once as the machine has cores.
#
# Each preset's tests run while the next preset builds: the real-time tests mostly wait on the
# clock, and no test's verdict depends on the machine's load. A run's report is printed when it
# ends; the first that fails ends the script with its status.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/phases.sh
tools/setup.sh
presets=(dev asan release tsan)
jobs=$(nproc)
running="" runningLog="" runningName=""
# A build that fails ends the script: the tests still running beside it end with it.
trap '[ -z "$running" ] || kill "$running" 2>/dev/null || true' EXIT

# Waits for the test run in the background, prints its report and fails as it failed.
finishTests() {
  [ -n "$running" ] || return 0
  local status=0
  wait "$running" || status=$?
  echo "== the $runningName preset's tests ended"
  cat "$runningLog"
  running=""
  if [ "$status" -ne 0 ]; then
    echo "== the $runningName preset's tests failed (status $status)" >&2
    exit "$status"
  fi
}

for i in "${!presets[@]}"; do
  preset=${presets[$i]}
  configure "$preset"
  # The release tree builds only what the package holds, and its test is the package's.
  if [ "$preset" = release ]; then
    build release package_contents
    tests=(ctest --test-dir build-release -L package --output-on-failure)
  else
    build "$preset"
    tests=(ctest --preset "$preset" -j "$jobs")
  fi
  finishTests
  runningLog="$(presetDir "$preset")/test-run.log" runningName=$preset
  beside=""
  [ "$((i + 1))" -eq "${#presets[@]}" ] || beside=", beside the next build"
  echo "== testing the $preset preset ($((i + 1)) of ${#presets[@]}), $jobs at a time$beside"
  "${tests[@]}" >"$runningLog" 2>&1 &
  running=$!
done
finishTests
