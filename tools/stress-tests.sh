#!/usr/bin/env bash
# Runs the dev preset's test suite (as many tests at a time as there are cores) again and again
# on a loaded machine, to show that no verdict depends on the machine's load: the given number of
# runs (default 20) while two busy loops keep both cores busy, then one more run pinned to one
# core (taskset -c 0) beside them. Prints a line per run, the name and output of every test that
# failed, and a last line with the count; exits non-zero when any run failed.
#
#   tools/stress-tests.sh [runs]
#
# It builds the dev preset first, unless QUIRO_BUILD_DIR names a built dev tree.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: tools/stress-tests.sh [runs]   (runs: a whole number from 1 to 1000, default 20)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
if [ $# -gt 1 ] || ! [[ ${1:-20} =~ ^[1-9][0-9]{0,3}$ ]] || [ "${1:-20}" -gt 1000 ]; then
  echo "tools/stress-tests.sh: not a number of runs: '${1-}'" >&2
  usage >&2
  exit 2
fi
runs=${1:-20}
command -v taskset >/dev/null || { echo "tools/stress-tests.sh: taskset is missing (util-linux)" >&2; exit 2; }

build=${QUIRO_BUILD_DIR:-}
if [ -z "$build" ]; then
  echo "== building the dev preset"
  cmake --preset dev >/dev/null
  cmake --build --preset dev >/dev/null
  build=build
fi

logs=$(mktemp -d)
busy=()
stop_busy() {
  [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$logs"
}
trap stop_busy EXIT
for _ in 1 2; do
  (while :; do :; done) &
  busy+=($!)
done

failed=0
count=0
# One run of the whole suite, named $1, its command prefixed by the rest (env, or taskset).
run() {
  local name=$1 log="$logs/$((++count)).log"
  shift
  local start=$SECONDS
  if "$@" ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 >"$log" 2>&1; then
    echo "$name: passed in $((SECONDS - start)) s"
  else
    failed=$((failed + 1))
    echo "$name: FAILED in $((SECONDS - start)) s:"
    sed -n '/The following tests FAILED/,$p' "$log" | sed 's/^/    /'
    # Each failing test's own output, as ctest printed it.
    grep -n -E '(\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Subprocess aborted)' "$log" | sed 's/^/    /'
    awk '/\*\*\*(Failed|Timeout|Exception)|Subprocess aborted/ { show = 40 } show-- > 0' "$log" |
      head -200 | sed 's/^/    | /'
  fi
}

echo "== $runs runs of the suite beside two busy loops"
for i in $(seq 1 "$runs"); do
  run "run $i/$runs" env
done
echo "== one run pinned to one core beside them"
run "pinned run" taskset -c 0
total=$((runs + 1))
echo "stress: $((total - failed)) of $total runs passed ($runs loaded, 1 pinned to one core)"
[ "$failed" -eq 0 ]
