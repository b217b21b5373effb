#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: plainly, under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the board's threads under ThreadSanitizer; then builds the
# release preset (without running its tests) so that no preset can break unseen.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
for preset in dev asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== release (build, and the package's test)"
cmake --preset release >/dev/null
cmake --build --preset release
ctest --test-dir build-release -L package --output-on-failure
