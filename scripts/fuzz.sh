#!/usr/bin/env bash
# A bounded run of the exports fuzzer from the seed corpus. Anything it
# finds (a crash, a sanitizer report, a broken invariant, a hang) fails the
# run and is kept in the artifact directory it prints, to be fixed and then
# added to tests/fuzz/regressions/. An input that runs longer than 2 s is a
# hang.
#
#   scripts/fuzz.sh FUZZER SECONDS [more libFuzzer options]
#
# Longer runs: scripts/fuzz.sh build/fuzz/tests/fuzz/exports_fuzzer 3600
set -euo pipefail
[[ $# -ge 2 ]] || { sed -n '2,9p' "$0" >&2; exit 2; }
fuzzer=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/cantrelle-fuzz.XXXXXX")
mkdir -p "$work/corpus" "$work/artifacts"
# The seed corpus (inputs that together reach every edge found so far) is
# one archive in the repository; new inputs go to the unpacked copy.
tar -C "$work/corpus" -xzf "$root/tests/fuzz/corpus.tar.gz"
# One input may take 2 s: a call that costs seconds (a load that copies or
# converts far more than it holds, a render that loops) is a finding.
# Normal inputs take at most 40 ms under ASan (the seed corpus and a 120 s
# run's new inputs, timed one by one on a 2-core machine): a margin of
# fifty for a slow, shared machine.
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" 2>"$work/fuzz.log" || status=$?
grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss" "$work/fuzz.log" || true
if [[ $status -ne 0 ]]; then
    tail -n 60 "$work/fuzz.log"
    echo "fuzz: a finding; its input is in $work/artifacts/" >&2
    exit "$status"
fi
rm -rf "$work"
