#!/usr/bin/env bash
# Sets the machine up, builds the native library and runs the basic example.
# It opens the null output: nothing is heard until the WASAPI output exists.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native
cmake --build --preset native -j "${CANTRELLE_JOBS:-$(nproc)}" --target example_basic
exec build/native/example_basic
