#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: plainly, under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the board's threads under ThreadSanitizer, each with as many
# tests at once as the machine has cores; then builds what the release preset's package holds and
# runs the package's test (the benchmarks, built from the release tree by hand, are left out).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/phases.sh
tools/setup.sh
presets=(dev asan tsan)
jobs=$(nproc)
for i in "${!presets[@]}"; do
  preset=${presets[$i]}
  configure "$preset"
  build "$preset"
  echo "== testing the $preset preset ($((i + 1)) of ${#presets[@]}), $jobs at a time"
  ctest --preset "$preset" -j "$jobs"
done
configure release
build release package_contents
ctest --test-dir build-release -L package --output-on-failure
