#!/usr/bin/env bash
# Runs bench/output_latency_bench.exe under Wine once per output setting,
# each run with its own capture, and prints the markdown table.
#
#   bench/output_latency.sh [--seconds S] [--build DIR] [--dir DIR]
#
# --seconds  output played per setting (10); Wine's device may play faster
#            or slower than real time, so the wall time differs
# --build    the windows preset's build directory (build/windows)
# --dir      where the Wine prefix, table.md, each run's log (NAME.log:
#            the library's lines, every click, every break in the tone) and
#            capture (NAME/capture.raw) go (build/output-latency); the
#            prefix is removed at the end, the rest stays
#
# Build first: cmake --preset windows && cmake --build --preset windows --target output_latency_bench
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=10
build=$root/build/windows
dir=$root/build/output-latency
while [[ $# -gt 0 ]]; do
    case "$1" in
        --seconds) seconds=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --dir) dir=$2; shift 2 ;;
        *) sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
exe=$build/output_latency_bench.exe
[[ -f $exe ]] || { echo "output_latency: $exe not found (build the target output_latency_bench)" >&2; exit 1; }

# name and arguments of each setting: the defaults, then strict buffers
settings=(
    "shared-default|"
    "shared-5|--buffer-ms 5 --strict"
    "shared-10|--buffer-ms 10 --strict"
    "shared-15|--buffer-ms 15 --strict"
    "shared-20|--buffer-ms 20 --strict"
    "shared-30|--buffer-ms 30 --strict"
    "exclusive-default|--exclusive"
    "exclusive-5|--exclusive --buffer-ms 5 --strict"
    "exclusive-10|--exclusive --buffer-ms 10 --strict"
    "exclusive-15|--exclusive --buffer-ms 15 --strict"
    "exclusive-20|--exclusive --buffer-ms 20 --strict"
    "exclusive-30|--exclusive --buffer-ms 30 --strict"
)

mkdir -p "$dir"
dir=$(realpath "$dir")
trap '"$root/scripts/wine-run.sh" --cleanup "$dir"' EXIT
"$root/scripts/wine-run.sh" --setup "$dir" >&2

table=$dir/table.md
{
    echo "Output latency under Wine: $seconds s of output per setting; load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    echo "Latencies in frames at 48000 Hz (ms of output). Measured: from play() to the click's first frame"
    echo "in the capture, counted from the frames the capture held at the call. Gaps: breaks in the tone"
    echo "(silence, or tone lost or repeated); gap frames: frames of the breaks; tone skipped / repeated:"
    echo "tone frames lost or played twice across them. Output/wall: seconds of output per second of wall time."
    echo
    "$root/scripts/wine-run.sh" --dir "$dir" --name header "$exe" --header
} | tee "$table"
failed=0
loads=()
for setting in "${settings[@]}"; do
    name=${setting%%|*}
    read -r -a args <<<"${setting#*|}"
    if ! "$root/scripts/wine-run.sh" --dir "$dir" --name "$name" "$exe" "${args[@]}" --seconds "$seconds" \
        2>"$dir/$name.log" | tee -a "$table"; then
        failed=1
        echo "output_latency: $name failed; see $dir/$name.log" >&2
    fi
    loads+=("$(cut -d' ' -f1 /proc/loadavg)")
done
{
    echo
    echo "Load average (1 min) after each setting, in order: ${loads[*]}; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee -a "$table"
echo "output_latency: table in $table; captures in $dir/NAME/capture.raw, logs in $dir/NAME.log" >&2
exit $failed
