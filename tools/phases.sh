# Shared by tools/demo.sh and tools/test.sh: the configure and build phases of a preset, each
# announced on one line so that a long first run shows where it is.

# The build folder of a configure preset, as CMakePresets.json names it.
presetDir() {
  sed -n "/\"name\": \"$1\"/,/binaryDir/s/.*\"binaryDir\": \"\${sourceDir}\/\([^\"]*\)\".*/\1/p" CMakePresets.json
}

# configure PRESET [--if-needed]: configures the preset's build tree; with --if-needed only when
# it is not configured yet (its build re-runs CMake by itself when a CMake file changed).
configure() {
  local dir
  dir=$(presetDir "$1")
  if [ "${2:-}" = --if-needed ] && [ -n "$dir" ] && [ -f "$dir/build.ninja" ]; then
    return
  fi
  echo "== configuring the $1 preset"
  cmake --preset "$1" >/dev/null
}

# build PRESET [TARGET]: builds the target (everything when none); the first build of a tree says
# how many steps it takes, a later one builds only what changed.
build() {
  local dir target=()
  dir=$(presetDir "$1")
  [ -z "${2:-}" ] || target=(--target "$2")
  if [ -f "$dir/.ninja_log" ]; then
    echo "== building the $1 preset${2:+ ($2)}: what changed since the last build"
  else
    echo "== building the $1 preset${2:+ ($2)}: $(ninja -C "$dir" -t commands "${2:-all}" | wc -l) steps"
  fi
  cmake --build --preset "$1" "${target[@]}"
}
