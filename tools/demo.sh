#!/usr/bin/env bash
# Sets up, builds and starts the demo on the simulated board's built-in scene.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
exec build/bin/quiro
