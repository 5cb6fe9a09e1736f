#!/usr/bin/env bash
# The main job: sets the machine up, builds Cantrelle.dll and the metronome
# example, and runs the metronome under Wine with the ALSA file device as
# its sound card while a helper presses the space bar at known moments.
# Then writes what was played to build/demo/metronome.wav, draws
# build/demo/metronome.png (waveform, scheduled beats, presses) and prints
# where each beat landed: every beat on its scheduled frame, or exit 1.
#
#   scripts/demo.sh [--tempo BPM] [--bars N]     (passed to the metronome)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${CANTRELLE_JOBS:-$(nproc)}

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target cantrelle metronome press_keys

out=$root/build/demo
mkdir -p "$out"
wine=$(mktemp -d "${TMPDIR:-/tmp}/cantrelle-demo.XXXXXX")
trap 'scripts/wine-run.sh --cleanup "$wine"; rm -rf "$wine"' EXIT
scripts/wine-run.sh --setup "$wine"

# The presses start with the metronome; Wine's file device plays faster
# than real time, so they fall wherever they fall between the beats.
scripts/wine-run.sh --dir "$wine" --name presses build/windows/press_keys.exe 1200 1900 2600 3300 \
    >"$out/presses.txt" 2>&1 &
presses=$!
scripts/wine-run.sh --dir "$wine" --name metronome build/windows/metronome.exe "$@" \
    >"$out/metronome.txt" 2>"$out/engine-log.txt"
wait "$presses" || true

echo "==== the metronome said (build/demo/metronome.txt; engine log in build/demo/engine-log.txt)"
cat "$out/metronome.txt"
echo "==== what the device played"
/usr/bin/python3 demo/report.py "$wine/metronome/capture.raw" "$out/metronome.txt" "$out"
