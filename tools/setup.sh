#!/usr/bin/env bash
# Installs the Debian packages quiro needs, if they are missing, and says what it does.
#
#   tools/setup.sh          everything: building, testing, the benchmarks and the package
#   tools/setup.sh demo     only what building and running the demo needs
set -euo pipefail
usage() { echo "usage: tools/setup.sh [demo]"; }
case "${1:-all}" in
  all|demo) ;;
  -h|--help) usage; exit 0 ;;
  *) echo "tools/setup.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
esac
# The console, the simulated board (resampling, WAV files, the monitor output, FFT convolution)
# and the Japanese font of its captions.
packages=(g++ cmake ninja-build pkg-config qt6-base-dev fonts-ipafont-gothic
          libsamplerate0-dev libsndfile1-dev libsdl2-dev libfftw3-dev)
if [ "${1:-all}" = all ]; then
  # The tests (clang and its runtimes for the fuzz targets, and LLVM's linker, which links in a
  # fraction of the default one's time; Xvfb, xdotool and ImageMagick for the real window;
  # locales for the decimal-comma locale) and the lab bench (Eigen).
  packages+=(clang libclang-rt-dev lld libgtest-dev xvfb xdotool imagemagick locales libeigen3-dev)
  # The Debian package (tools/package.sh) and its test: dpkg-shlibdeps, which CPack asks for the
  # dependencies, and file, with which it finds the binaries; then the checkers of the package,
  # its menu entry and its AppStream metadata.
  packages+=(dpkg-dev file lintian desktop-file-utils appstream)
fi
echo "== checking ${#packages[@]} Debian packages"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${#missing[@]} packages and what they need: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # No translations of the package lists, and dpkg unpacks without syncing every file: on a fresh
  # machine that halves the installation, and a crash in the middle means running this again.
  $SUDO apt-get update -q -o Acquire::Languages=none
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
    -o Dpkg::Options::=--force-unsafe-io "${missing[@]}"
fi
