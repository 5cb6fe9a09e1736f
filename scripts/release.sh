#!/usr/bin/env bash
# Makes the release archive for Windows developers, and its SHA-256 sum:
#
#   release.sh [--windows-build DIR] [--out DIR]
#
# writes OUT/Cantrelle-<version>-windows-x64.zip and
# OUT/Cantrelle-<version>-windows-x64.zip.sha256 (check it with
# `sha256sum -c`). OUT is build/release-package by default. Without
# --windows-build the script configures and builds the windows preset's
# library first, with CANTRELLE_JOBS parallel jobs (default: the number of
# CPUs, as for demo.sh and test.sh); with it, it takes that build directory
# as it is. The version is the one of project() in CMakeLists.txt, read from
# the build. The archive unpacks into Cantrelle-<version>-windows-x64/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${CANTRELLE_JOBS:-$(nproc)}

windows_build=""
out=$root/build/release-package
while [[ $# -gt 0 ]]; do
    case "$1" in
        --windows-build) windows_build=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        *) sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done

die() { echo "release: $*" >&2; exit 1; }

if [[ -z $windows_build ]]; then
    windows_build=$root/build/windows
    (cd "$root" && cmake --preset windows && cmake --build --preset windows -j "$jobs" --target cantrelle)
fi
windows_build=$(realpath "$windows_build")
cache=$windows_build/CMakeCache.txt
[[ -f $cache ]] || die "$windows_build is not a configured build directory"
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
config=$(cache_value CMAKE_BUILD_TYPE | tr '[:upper:]' '[:lower:]')
[[ -n $version && -n $config ]] || die "no project version or build type in $cache"
name=Cantrelle-$version-windows-x64

# Every file of the archive, as "path in the archive:where it comes from".
# "install" is the same path in the windows build installed with
# `cmake --install --strip` (the DLL without its debug information); any
# other origin is a path in the source tree.
files=(
    "bin/Cantrelle.dll:install"
    "include/cantrelle.h:install"
    "lib/Cantrelle.lib:install"
    "lib/Cantrelle.def:install"
    "lib/libCantrelle.dll.a:install"
    "lib/cmake/Cantrelle/CantrelleConfig.cmake:install"
    "lib/cmake/Cantrelle/CantrelleConfigVersion.cmake:install"
    "lib/cmake/Cantrelle/CantrelleTargets.cmake:install"
    "lib/cmake/Cantrelle/CantrelleTargets-$config.cmake:install"
    "lib/pkgconfig/cantrelle.pc:install"
    "bindings/csharp/Cantrelle.cs:bindings/csharp/Cantrelle.cs"
    "docs/guide.md:docs/guide.md"
    "docs/csharp.md:docs/csharp.md"
    "cmake/mingw-w64-x86_64.cmake:packaging/mingw-w64-x86_64.cmake"
    "examples/CMakeLists.txt:examples/CMakeLists.txt"
    "examples/basic.c:examples/basic.c"
    "examples/metronome.c:examples/metronome.c"
    "examples/calibrate.c:examples/calibrate.c"
    "examples/overlap.c:examples/overlap.c"
    "examples/csharp/Clicks.cs:examples/csharp/Clicks.cs"
    "README.md:packaging/README-user.md"
    "LICENSE:LICENSE"
)

work=$(mktemp -d "${TMPDIR:-/tmp}/cantrelle-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$windows_build" --prefix "$work/install" --strip >"$work/install.log" ||
    { cat "$work/install.log" >&2; die "cmake --install failed"; }

stage=$work/stage/$name
for entry in "${files[@]}"; do
    path=${entry%%:*}
    origin=${entry#*:}
    if [[ $origin == install ]]; then
        source=$work/install/$path
    else
        source=$root/$origin
    fi
    [[ -f $source ]] || die "$source not found (for $path)"
    mkdir -p "$(dirname "$stage/$path")"
    cp "$source" "$stage/$path"
done
# An installed file the list does not name would silently stay out.
extra=$(cd "$work/install" && find . -type f | sed 's|^\./||' | while read -r path; do
    [[ -f $stage/$path ]] || echo "$path"
done)
[[ -z $extra ]] || die "installed but not in the archive's list: $(echo $extra)"

mkdir -p "$out"
zip=$out/$name.zip
rm -f "$zip" "$zip.sha256"
# Files only, in a fixed order.
(cd "$work/stage" && find "$name" -type f | LC_ALL=C sort | zip -q -X -D "$zip" -@)
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "release: $zip ($(unzip -Z1 "$zip" | wc -l) files)"
cat "$zip.sha256"
