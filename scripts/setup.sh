#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Safe to run again: when everything is installed it returns at once,
# without touching the network.
set -euo pipefail

packages=(
    # native build and unit tests
    cmake ninja-build g++ binutils libgtest-dev libgmock-dev libbenchmark-dev
    # sample rate conversion of the native build
    pkg-config libsoxr-dev
    # the format check
    clang-format
    # Cantrelle.dll: MinGW-w64 with the posix thread model (std::thread,
    # std::mutex); GoogleTest sources to build its Windows test programs
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
    # running them: Wine, ALSA (its file device stands in for a sound card)
    # and GStreamer's base plugins, which Wine's Media Foundation resampler
    # is built on
    wine64 libasound2 gstreamer1.0-plugins-base
    # the exports fuzzer: clang with libFuzzer and its sanitizer runtimes
    clang libclang-rt-14-dev
    # the packages: Cantrelle.lib (llvm-dlltool), the MSVC-style client
    # that proves it links (clang, lld-link; llvm-readobj reads the .lib),
    # the release archive (zip; unzip to check it)
    llvm lld zip unzip
    # the demo's report: the waveform drawn as a PNG
    python3 python3-numpy python3-matplotlib
    # the C# binding's test: Mono's C# compiler (mcs) and runtime (mono)
    mono-mcs mono-runtime
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    echo "setup: all ${#packages[@]} packages installed"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "setup: run as root (or install sudo) to install packages" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
# With recommends, as on the machines where the Wine setup was verified.
"${sudo[@]}" apt-get install -y "${missing[@]}"
