# Shared by tools/demo.sh and tools/test.sh: the configure and build phases of a preset, each
# announced on one line so that a long first run shows where it is.

# configure PRESET [--if-needed]: configures the preset's build tree; with --if-needed only when
# it is not configured yet (its build re-runs CMake by itself when a CMake file changed).
configure() {
  local dir
  dir=$(sed -n "/\"name\": \"$1\"/,/binaryDir/s/.*\"binaryDir\": \"\${sourceDir}\/\([^\"]*\)\".*/\1/p" CMakePresets.json)
  if [ "${2:-}" = --if-needed ] && [ -n "$dir" ] && [ -f "$dir/build.ninja" ]; then
    return
  fi
  echo "== configuring the $1 preset"
  cmake --preset "$1" >/dev/null
}

# build PRESET [TARGET]: builds the target (everything when none), saying how many steps it takes.
build() {
  local steps target=()
  [ -z "${2:-}" ] || target=(--target "$2")
  steps=$(cmake --build --preset "$1" "${target[@]}" -- -n 2>/dev/null | grep -v -e 'Re-checking globbed' -e 'Re-running CMake' | grep -c '^\[' || true)
  if [ "$steps" = 0 ]; then
    echo "== building the $1 preset${2:+ ($2)}: up to date"
  else
    echo "== building the $1 preset${2:+ ($2)}: $steps steps"
  fi
  cmake --build --preset "$1" "${target[@]}"
}
