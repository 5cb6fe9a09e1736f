#!/usr/bin/env bash
# Runs the C examples of the windows build under Wine, through the real
# Cantrelle.dll, and checks what they say and what the engine logs. One
# check per call, so each is its own ctest test. WINE_DIR is a prefix made
# by `wine-run.sh --setup`.
#
#   check-examples.sh metronome WINDOWS_BUILD WINE_DIR on|off
#       metronome.exe with --safe-input on or off while press_keys.exe
#       presses the space bar: it must time the presses, and its game loop
#       (the one docs/guide.md gives) must log nothing. The engine log may
#       hold only what opening the output logs (see `opening` below): a
#       refusal of lockinput, unlockinput or freeinput fails the check.
#   check-examples.sh calibrate WINDOWS_BUILD WINE_DIR on|off
#       calibrate.exe with --safe-input on or off: once it says "tap along",
#       press_keys.exe taps the space bar five times. Every tap must be
#       judged against a beat, none ignored, and the summary must count five
#       and give the mean, standard deviation and median of the offsets it
#       printed, and the opposite of the mean as the suggested offset. Its
#       engine log is held to the metronome's rule.
#   check-examples.sh options METRONOME CALIBRATE
#       natively (no output to open): both programs refuse bad options with
#       their usage and exit status 2, counts too large for an int among
#       them, and take good ones (the output then fails to open: status 1).
#   check-examples.sh overlap WINDOWS_BUILD WINE_DIR
#       example_overlap.exe: on one sound every hit but the last is cut off
#       by the next; on four sounds in turn every hit rings out. Its engine
#       log is held to the same rule.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scripts=$root/scripts

die() { echo "check-examples: $*" >&2; exit 1; }

# The lines the engine logs when the output opens on Wine's device (the
# bodies, without "[CL] [tid=...] "): the format block, its title and its
# " - Name: value" lines, and the shared-mode choice. Anything else in an
# example's log was not asked for.
opening=(
    'Selected format:'
    ' - [A-Za-z /]+: .*'
    ''
    'Using low latency shared mode'
    'Low latency shared mode is not implemented; using classic shared mode'
    'Default settings: shared=[0-9.]+ms, exclusive=[0-9.]+ms'
)

# Fails when LOG holds a line not in `opening`, and says which (each with
# how often it came).
expect_quiet_log() {
    local log=$1 what=$2 pattern unexpected
    pattern=$(printf '^(%s)$\n' "$(IFS='|'; echo "${opening[*]}")")
    unexpected=$(tr -d '\r' <"$log" | sed -E 's/^\[CL\] \[tid=[ 0-9a-f]+\] //' | grep -Ev "$pattern" |
        sort | uniq -c || true)
    [[ -z $unexpected ]] || die "$what logged more than opening the output does (whole log: $log):
$unexpected"
}

run_example() {
    local name=$1 wine_dir=$2 exe=$3
    shift 3
    local status=0
    "$scripts/wine-run.sh" --dir "$wine_dir" --name "$name" "$exe" "$@" >"$wine_dir/$name.out" \
        2>"$wine_dir/$name.log" || status=$?
    tr -d '\r' <"$wine_dir/$name.out"
    [[ $status -eq 0 ]] || { cat "$wine_dir/$name.log" >&2; die "$(basename "$exe") $* exited with $status"; }
}

metronome() {
    local build=$1 wine_dir=$2 mode=$3
    [[ $mode == on || $mode == off ]] || die "safe input is on or off, not '$mode'"
    local name=example_metronome_safe_input_$mode
    # Presses through SendInput while the metronome runs, as demo.sh sends
    # them; Wine plays faster than real time, so they land wherever they do
    # in its four bars.
    "$scripts/wine-run.sh" --dir "$wine_dir" --name "${name}_presses" "$build/press_keys.exe" 1200 1900 2600 3300 \
        >"$wine_dir/${name}_presses.out" 2>&1 &
    local presses=$!
    run_example "$name" "$wine_dir" "$build/metronome.exe" --safe-input "$mode"
    wait "$presses" || die "press_keys.exe failed: $(cat "$wine_dir/${name}_presses.out")"

    local output
    output=$(tr -d '\r' <"$wine_dir/$name.out")
    grep -q '^done at ' <<<"$output" || die "the metronome did not reach its end"
    grep -q '^press source 0x7fffffff code 0x20 ' <<<"$output" ||
        die "no press reached the metronome with safe input $mode"
    expect_quiet_log "$wine_dir/$name.log" "metronome.exe --safe-input $mode"
    echo "metronome with safe input $mode: $(grep -c '^press ' <<<"$output") presses timed, no refusal logged"
}

calibrate() {
    local build=$1 wine_dir=$2 mode=$3
    [[ $mode == on || $mode == off ]] || die "safe input is on or off, not '$mode'"
    local name=example_calibrate_safe_input_$mode
    # Twelve seconds of beats: Wine's clock runs about 1.5 times faster than
    # the wall clock, and the taps, sent 0.5 s to 2.1 s after input is up,
    # must all fall between the first beat and the last.
    local taps=(500 900 1300 1700 2100)
    local status=0
    "$scripts/wine-run.sh" --dir "$wine_dir" --name "$name" "$build/calibrate.exe" --beats 24 \
        --safe-input "$mode" >"$wine_dir/$name.out" 2>"$wine_dir/$name.log" &
    local calibrate=$!
    # Taps sent before its hooks are in would be lost: wait until it is ready.
    local waited=0
    until grep -q '^tap along' "$wine_dir/$name.out"; do
        kill -0 "$calibrate" 2>/dev/null || { wait "$calibrate" || true; cat "$wine_dir/$name.log" >&2
            die "calibrate.exe ended before input was up: $(cat "$wine_dir/$name.out")"; }
        ((waited++ < 600)) || { kill "$calibrate"; die "calibrate.exe was not ready within 60 s"; }
        sleep 0.1
    done
    "$scripts/wine-run.sh" --dir "$wine_dir" --name "${name}_presses" "$build/press_keys.exe" "${taps[@]}" \
        >"$wine_dir/${name}_presses.out" 2>&1 || status=$?
    wait "$calibrate" || status=$?
    [[ $status -eq 0 ]] || cat "$wine_dir/${name}_presses.out" "$wine_dir/$name.log" >&2
    local output
    output=$(tr -d '\r' <"$wine_dir/$name.out")
    echo "$output"
    [[ $status -eq 0 ]] || die "press_keys.exe or calibrate.exe --safe-input $mode exited with $status"

    grep -q '^done at ' <<<"$output" || die "calibrate did not reach its end"
    # Every tap judged, and the summary made of the offsets it printed (each
    # rounded to 0.005 ms, so the figures may differ by that much).
    /usr/bin/python3 -c '
import re, statistics, sys
sent, lines = int(sys.argv[1]), sys.stdin.read().splitlines()
def read(pattern):
    return [m for m in (re.fullmatch(pattern, line) for line in lines) if m]
taps = [float(m[1]) for m in read(r"tap \d+ source 0x7fffffff code 0x20 at [0-9.]+ s: ([-+]\d+\.\d\d) ms from beat \d+")]
ignored = [line for line in lines if line.startswith("ignored ")]
summary = read(r"taps (\d+): mean ([-+]\d+\.\d\d) ms, standard deviation (\d+\.\d\d) ms, median ([-+]\d+\.\d\d) ms")
offset = read(r"suggested offset ([-+]\d+\.\d\d) ms: .*")
problems = []
if len(taps) != sent or ignored:
    problems.append(f"{sent} taps sent, {len(taps)} judged, {len(ignored)} ignored")
if len(summary) != 1 or len(offset) != 1:
    problems.append("no summary, or no suggested offset, that reads")
elif len(taps) >= 2:
    count, mean, deviation, median = int(summary[0][1]), *map(float, summary[0].groups()[1:])
    want = (len(taps), statistics.mean(taps), statistics.stdev(taps), statistics.median(taps))
    near = lambda a, b: abs(a - b) < 0.01
    if count != want[0] or not all(map(near, (mean, deviation, median), want[1:])):
        problems.append(f"the summary says {count}, {mean}, {deviation}, {median}; the taps give {want}")
    if not near(float(offset[0][1]), -mean):
        problems.append(f"suggested offset {offset[0][1]} is not the opposite of the mean {mean}")
for problem in problems:
    print(f"check-examples: {problem}", file=sys.stderr)
sys.exit(1 if problems else 0)
' "${#taps[@]}" <<<"$output" || die "calibrate.exe --safe-input $mode: its taps or summary are wrong"
    expect_quiet_log "$wine_dir/$name.log" "calibrate.exe --safe-input $mode"
    echo "calibrate with safe input $mode: ${#taps[@]} taps sent and judged; $(grep '^taps ' <<<"$output")"
}

overlap() {
    local build=$1 wine_dir=$2
    local name=example_overlap
    run_example "$name" "$wine_dir" "$build/example_overlap.exe"
    local expected actual
    expected=$(printf 'roll on 1 sound\n'
        for hit in 1 2 3 4 5 6 7; do printf 'hit %d on sound 1: cut off\n' $hit; done
        printf 'hit 8 on sound 1: rang out\nroll on 4 sounds in turn\n'
        for hit in 1 2 3 4 5 6 7 8; do printf 'hit %d on sound %d: rang out\n' $hit $(((hit - 1) % 4 + 1)); done)
    # What each hit did, without how long it rang.
    actual=$(tr -d '\r' <"$wine_dir/$name.out" | sed -E 's/ (after [0-9.]+ s|\([0-9.]+ s\))$//')
    diff -u --label expected --label example_overlap.exe <(echo "$expected") <(echo "$actual") ||
        die "the hits did not ring as the example says"
    expect_quiet_log "$wine_dir/$name.log" "example_overlap.exe"
    echo "overlap: one sound cuts each hit off, four in turn let every hit ring out; no refusal logged"
}

options() {
    local metronome=$1 calibrate=$2 entry program count row expected args status
    # Each row: the exit status expected, then the options (COUNT: --bars or
    # --beats). Good options get as far as opening the output, which fails.
    local rows=(
        "1 --tempo 90 COUNT 2 --safe-input off"
        "2 COUNT 99999999999999999999"
        "2 COUNT 3x"
        "2 COUNT 0"
        "2 COUNT -1"
        "2 COUNT"
        "2 --tempo nan"
        "2 --tempo 1e400"
        "2 --tempo 19"
        "2 --safe-input maybe"
        "2 --device"
        "2 --unknown 1"
    )
    for entry in "$metronome:--bars" "$calibrate:--beats"; do
        program=${entry%:*}
        count=${entry##*:}
        for row in "${rows[@]}"; do
            expected=${row%% *}
            args=${row#* }
            args=${args//COUNT/$count}
            status=0
            # shellcheck disable=SC2086 # the options are words
            "$program" $args >/dev/null 2>&1 || status=$?
            [[ $status -eq $expected ]] || die "$(basename "$program") $args: exit status $status, not $expected"
        done
    done
    echo "options: metronome and calibrate refuse bad options with status 2 and take good ones"
}

usage() { sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2; }

command=${1:-}
shift || true
case "$command:$#" in
    metronome:3) metronome "$@" ;;
    calibrate:3) calibrate "$@" ;;
    overlap:2) overlap "$@" ;;
    options:2) options "$@" ;;
    *) usage ;;
esac
