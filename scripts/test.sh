#!/usr/bin/env bash
# Sets the machine up, builds every configuration and the release archive,
# and runs every test once, in one ctest summary: the native unit tests
# (AddressSanitizer and UndefinedBehaviorSanitizer), the concurrency suites
# under ThreadSanitizer, the checks of both libraries and of the packages,
# and the Windows tests under Wine. Exits non-zero if anything fails.
#
# Extra arguments go to ctest, e.g. scripts/test.sh -L wine
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${CANTRELLE_JOBS:-$(nproc)}

step() {
    local name=$1 start=$SECONDS
    shift
    echo "==== $name"
    "$@"
    echo "==== $name: $((SECONDS - start)) s"
}

step setup scripts/setup.sh

step "windows build" bash -c "cmake --preset windows && cmake --build --preset windows -j $jobs"
# The archive for Windows developers, in build/release-package/ for CI to
# keep; the package tests make and check their own copy.
step "release archive" scripts/release.sh --windows-build "$root/build/windows"
# Only the test program: the ThreadSanitizer build exists for its concurrency suites.
step "native-tsan build" bash -c \
    "cmake --preset native-tsan && cmake --build --preset native-tsan -j $jobs --target cantrelle_unit_tests"
step "fuzz build" bash -c "cmake --preset fuzz && cmake --build --preset fuzz -j $jobs --target exports_fuzzer"
# The library as users install it: plain, optimised, without the tests.
step "release build" bash -c "cmake --preset release && cmake --build --preset release -j $jobs"
step "native build" bash -c "cmake --preset native \
    -DCANTRELLE_WINDOWS_BUILD_DIR='$root/build/windows' -DCANTRELLE_TSAN_BUILD_DIR='$root/build/native-tsan' \
    -DCANTRELLE_FUZZ_BUILD_DIR='$root/build/fuzz' -DCANTRELLE_RELEASE_BUILD_DIR='$root/build/release' && cmake --build --preset native -j $jobs"

step tests ctest --preset native -j "$jobs" "$@"
echo "test: all passed in $SECONDS s"
