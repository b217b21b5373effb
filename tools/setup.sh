#!/usr/bin/env bash
# Installs what building and testing quiro needs on a Debian machine, if it is missing.
set -euo pipefail
packages=(g++ clang cmake ninja-build pkg-config qt6-base-dev libgtest-dev
          fonts-ipafont-gothic xvfb xdotool imagemagick libfftw3-dev libeigen3-dev
          libsamplerate0-dev libsndfile1-dev libsdl2-dev)
# localedef and the locale sources, for the test under a decimal-comma locale.
packages+=(locales)
# The package (tools/package.sh) and its test: dpkg-shlibdeps, which CPack asks for the
# dependencies, and file, with which CPack finds the binaries; the checkers of the package, its
# menu entry and its AppStream metadata.
packages+=(dpkg-dev file lintian desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi
