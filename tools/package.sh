#!/usr/bin/env bash
# Builds the release preset and the Debian package made from it, and prints the package's path.
#
#   tools/package.sh
#   sudo apt install ./build-release/quiro_<version>_<arch>.deb
#
# The release preset installs in the system's layout (see packaging/); CPack's DEB generator
# makes the package, with its dependencies found by dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target package_contents
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd build-release && cpack --config CPackConfig.cmake) >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
deb=$(sed -nE 's/^CPack: - package: (.*\.deb) generated\.$/\1/p' "$log")
[ -n "$deb" ] || { cat "$log" >&2; echo "tools/package.sh: cpack made no package" >&2; exit 1; }
echo "$deb"
