#!/usr/bin/env bash
# Compiles the C# binding with a test program and runs it against a native
# libcantrelle.so, the way a C# game loads the library:
#
#   csharp-test.sh LIBDIR OUTDIR PROGRAM.cs...
#
# LIBDIR holds libcantrelle.so (the release build: the sanitizer runtimes of
# the test builds cannot be loaded into an unsanitized mono); OUTDIR receives
# the compiled program. Mono resolves [DllImport("cantrelle")] to
# libcantrelle.so through LD_LIBRARY_PATH, as it would in a game's folder.
set -euo pipefail
cd "$(dirname "$0")/.."

[[ $# -ge 3 ]] || { sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2; }
libdir=$1 outdir=$2
shift 2
[[ -f $libdir/libcantrelle.so ]] || { echo "csharp-test: $libdir/libcantrelle.so not found" >&2; exit 1; }
command -v mcs >/dev/null && command -v mono >/dev/null ||
    { echo "csharp-test: mcs and mono are missing (scripts/setup.sh installs them)" >&2; exit 1; }

mkdir -p "$outdir"
program=$outdir/$(basename "$1" .cs).exe
# Warnings are errors: the binding must compile cleanly in a game's project.
mcs -warn:4 -warnaserror+ -out:"$program" bindings/csharp/Cantrelle.cs "$@"
LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" exec mono --debug "$program"
