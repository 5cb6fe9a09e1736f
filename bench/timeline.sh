#!/usr/bin/env bash
# Runs bench/timeline_bench.exe under Wine once per output setting (the
# shared defaults, then 20 ms strict), each with its own capture, and prints
# its three tables: the heard clock against the capture, the press times,
# and the heard clock's steps between reads.
#
#   bench/timeline.sh [--presses N] [--reads N] [--seconds S] [--busy N] [--build DIR] [--dir DIR]
#
# --presses  presses per input mode (300)
# --reads    getheardclock() reads per polling thread (500000)
# --seconds  wall time of the reads against the capture (10)
# --busy     busy loops kept spinning during each run, as load (0)
# --build    the windows preset's build directory (build/windows)
# --dir      where the Wine prefix, table.md, each run's log (NAME.log) and
#            capture (NAME/capture.raw) go (build/timeline); the prefix is
#            removed at the end, the rest stays
#
# Build first: cmake --preset windows && cmake --build --preset windows --target timeline_bench cantrelle
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
presses=300
reads=500000
seconds=10
busy=0
build=$root/build/windows
dir=$root/build/timeline
while [[ $# -gt 0 ]]; do
    case "$1" in
        --presses) presses=$2; shift 2 ;;
        --reads) reads=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --busy) busy=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --dir) dir=$2; shift 2 ;;
        *) sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
exe=$build/timeline_bench.exe
[[ -f $exe ]] || { echo "timeline: $exe not found (build the target timeline_bench)" >&2; exit 1; }

settings=(
    "default|"
    "strict-20|--buffer-ms 20 --strict"
)

# The share of CPU time the hypervisor gave to others since the mark (steal
# in /proc/stat): on a shared virtual machine it delays threads as load does,
# without showing in the load average.
markSteal() { read -r _ a b c d e f g h _ </proc/stat; stealMark=$h; totalMark=$((a + b + c + d + e + f + g + h)); }
stealSince() {
    read -r _ a b c d e f g h _ </proc/stat
    echo "$(((h - stealMark) * 100 / (a + b + c + d + e + f + g + h - totalMark + 1)))%"
}

busyPids=()
stopBusy() {
    for pid in "${busyPids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${busyPids[@]}"; do wait "$pid" 2>/dev/null || true; done
    busyPids=()
}

mkdir -p "$dir"
dir=$(realpath "$dir")
trap 'stopBusy; "$root/scripts/wine-run.sh" --cleanup "$dir"' EXIT
"$root/scripts/wine-run.sh" --setup "$dir" >&2
"$root/scripts/wine-run.sh" --dir "$dir" --name header "$exe" --header >"$dir/header.out"

failed=0
loads=()
for setting in "${settings[@]}"; do
    name=${setting%%|*}
    read -r -a args <<<"${setting#*|}"
    loads+=("$name: $(cut -d' ' -f1-3 /proc/loadavg)")
    markSteal
    for ((i = 0; i < busy; i++)); do
        sh -c 'while :; do :; done' &
        busyPids+=($!)
    done
    if ! "$root/scripts/wine-run.sh" --dir "$dir" --name "$name" "$exe" "${args[@]}" --presses "$presses" \
        --reads "$reads" --seconds "$seconds" >"$dir/$name.out" 2>"$dir/$name.log"; then
        failed=1
        echo "timeline: $name failed; see $dir/$name.log" >&2
    fi
    stopBusy
    loads[-1]+=" at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end, CPU time stolen $(stealSince)"
done

table=$dir/table.md
{
    echo "Timeline under Wine: $presses presses per mode, $reads reads per thread, $seconds s of capture reads;"
    echo "$busy busy loops during each run. Times in ms of heard clock (engine clock)."
    echo "Load average (1, 5, 15 min) per setting: $(printf '%s; ' "${loads[@]}")"
    for part in capture presses steps; do
        echo
        sed -n "s/^$part //p" "$dir/header.out"
        for setting in "${settings[@]}"; do sed -n "s/^$part //p" "$dir/${setting%%|*}.out"; done
    done
    echo
    for setting in "${settings[@]}"; do grep -h '^shared\|matched no press\|was NaN' "$dir/${setting%%|*}.log" || true; done
} | tee "$table"
echo "timeline: table in $table; captures in $dir/NAME/capture.raw, logs in $dir/NAME.log" >&2
exit $failed
