#!/usr/bin/env bash
# Sets up, builds and starts the demo on the simulated board's built-in scene. It installs only
# the Debian packages the demo needs and builds only what the demo runs (the console, the board
# library and the DSP program); a second run rebuilds nothing that is up to date and starts at once.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/phases.sh
tools/setup.sh demo
configure dev --if-needed
build dev demo
echo "== starting build/bin/quiro"
exec build/bin/quiro
