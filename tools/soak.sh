#!/usr/bin/env bash
# The soak test: runs the real board in real time through the console's handshake, headless, for
# the given minutes (default 60), cycling through identification, clears, every mode, parameter
# changes and captures with the recording on. Prints one line per minute and a verdict; exits
# non-zero when a check failed.
#
#   tools/soak.sh [minutes] [--mode1] [--listen] [--report-timing]
#
# --listen also plays the error microphone on the monitor output, through SDL's disk driver (a
# device's pace, no sound card), and checks that it played for the whole run.
# --report-timing prints what depends on the machine's load (answer times, overruns, the share of
# the run the monitor played) without judging it; the test suite runs the soak this way.
#
# It builds the dev preset's soak program first, unless QUIRO_BUILD_DIR names a built run tree.
set -euo pipefail
usage() {
  echo "usage: tools/soak.sh [--help] [minutes] [--mode1] [--listen] [--report-timing]"
  echo "Runs the board in real time for the given minutes (default 60, at most 10080) and checks it."
}
minutes=
args=()
listen=0
judge_timing=1
for a in "$@"; do
  case $a in
    --help) usage; exit 0 ;;
    --listen) listen=1 ;;
    --mode1) args+=("$a") ;;
    --report-timing) judge_timing=0; args+=("$a") ;;
    *)
      # Minutes: a positive decimal number, given once.
      if [ -n "$minutes" ] || ! [[ $a =~ ^[0-9]+([.][0-9]+)?$ ]] ||
        ! awk -v m="$a" 'BEGIN { exit !(m > 0 && m <= 10080) }'; then
        printf 'tools/soak.sh: "%s" is not a number of minutes from above 0 to 10080 (nor an option)\n' "$a" >&2
        usage >&2
        exit 2
      fi
      minutes=$a ;;
  esac
done
minutes=${minutes:-60}
cd "$(dirname "$0")/.."
if [ "$listen" = 1 ]; then
  export KESTO32_LISTEN=error SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
fi
build=${QUIRO_BUILD_DIR:-}
if [ -z "$build" ]; then
  build=build
  cmake --preset dev >/dev/null
  cmake --build --preset dev --target quiro_soak -- -j2 >/dev/null
fi
wav=$(mktemp --suffix=.wav)
log=$(mktemp)
trap 'rm -f "$wav" "$log" "$log.out"' EXIT
status=0
seconds=$(awk -v m="$minutes" 'BEGIN { print m * 60 }')
"$build/bin/quiro_soak" --seconds "$seconds" --record "$wav" --run-tree "$build" "${args[@]}" 2>"$log" \
  | tee "$log.out" || status=$?
# The board's own account at exit: every sample run was written, none dropped.
line=$(grep -E 'frames written of [0-9]+ samples run' "$log" | tail -1 || true)
sed -n '/frames written of/!p' "$log" | head -20 >&2
echo "board: ${line#Kesto32: }"
if [[ $line =~ :\ ([0-9]+)\ frames\ written\ of\ ([0-9]+)\ samples\ run,\ ([0-9]+)\ dropped ]]; then
  written=${BASH_REMATCH[1]} run=${BASH_REMATCH[2]} dropped=${BASH_REMATCH[3]}
  readable=$(sed -nE 's/^recording: ([0-9]+) frames readable.*/\1/p' "$log.out")
  if [ "$dropped" != 0 ] || [ "$written" != "$run" ] || [ "$readable" != "$written" ]; then
    echo "soak: FAIL: $written frames written of $run samples run, $dropped dropped, ${readable:-no} frames readable"
    status=1
  fi
else
  echo "soak: FAIL: the board reported no recording"
  status=1
fi
# The monitor's own account at exit: it played for (nearly) the whole run, or at least played,
# when timing is only reported.
if [ "$listen" = 1 ]; then
  played=$(sed -nE 's/.*monitor: ([0-9.]+) s played.*/\1/p' "$log" | tail -1)
  share=0.9
  [ "$judge_timing" = 1 ] || share=0
  echo "soak: the monitor played ${played:-no} seconds of $seconds"
  if ! awk -v p="${played:-0}" -v s="$seconds" -v k="$share" 'BEGIN { exit !(p > 0 && p >= k * s) }'; then
    echo "soak: FAIL: the monitor played ${played:-no} seconds of $seconds"
    status=1
  fi
fi
if [ "$status" = 0 ]; then echo "soak: PASSED ($minutes min)"; else echo "soak: FAILED ($minutes min)"; fi
exit "$status"
