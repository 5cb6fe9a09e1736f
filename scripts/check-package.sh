#!/usr/bin/env bash
# Checks of Cantrelle as users take it, one per call, so each is its own
# ctest test. WORK is a scratch directory, emptied first; WINE_DIR a prefix
# made by `wine-run.sh --setup`.
#
#   check-package.sh install-native RELEASE_BUILD WORK VERSION
#       cmake --install, then the examples built as their own project with
#       find_package(Cantrelle), and basic.c built with pkg-config; both run
#   check-package.sh install-mingw WINDOWS_BUILD WORK VERSION WINE_DIR
#       the same with MinGW-w64 against the installed DLL; basic.exe runs
#       under Wine
#   check-package.sh msvc-link WINDOWS_BUILD WORK WINE_DIR
#       a C program for the MSVC ABI, linked by lld-link against
#       Cantrelle.lib alone, runs under Wine (tests/package/msvc_client.c)
#   check-package.sh msvc-cmake WINDOWS_BUILD WORK WINE_DIR
#       the same client as a CMake project on CMake's MSVC path (clang-cl,
#       lld-link; tests/package/msvc_cmake) using the installed package,
#       which must give it Cantrelle.lib; runs under Wine
#   check-package.sh release-archive WINDOWS_BUILD WORK VERSION WINE_DIR
#       scripts/release.sh: the archive holds exactly the files of
#       tests/package/release_contents.txt, its sum verifies, its libraries
#       export what src/api/exports.txt lists, and on Linux, with the
#       archive's own MinGW toolchain file, the examples build from it as a
#       CMake project and basic.c on the command line; both basic.exe run
#       under Wine
#
# VERSION is the project's version (0.35); getversion() answers its minor
# part (35).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scripts=$root/scripts
exports=$root/src/api/exports.txt
toolchain=$root/cmake/mingw-w64-x86_64.cmake

die() { echo "check-package: $*" >&2; exit 1; }

fresh() {
    rm -rf "$1"
    mkdir -p "$1"
}

# The line basic.c prints, and the library's answer behind it.
expect_version_line() {
    local output=$1 version=$2
    grep -qx "version: ${version#*.}" <<<"$output" || {
        echo "$output" >&2
        die "expected the line 'version: ${version#*.}'"
    }
}

same_list() {
    local what=$1 actual=$2 expected=$3
    diff -u --label expected --label "$what" <(echo "$expected") <(echo "$actual") ||
        die "$what differs ('+' lines are extra, '-' lines missing)"
}

install_native() {
    local build=$1 work=$2 version=$3
    fresh "$work"
    cmake --install "$build" --prefix "$work/install" >/dev/null
    same_list "installed files" "$(cd "$work/install" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" \
        "include/cantrelle.h
lib/cmake/Cantrelle/CantrelleConfig.cmake
lib/cmake/Cantrelle/CantrelleConfigVersion.cmake
lib/cmake/Cantrelle/CantrelleTargets-release.cmake
lib/cmake/Cantrelle/CantrelleTargets.cmake
lib/libcantrelle.so
lib/pkgconfig/cantrelle.pc"

    cmake -S "$root/examples" -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$work/install" >/dev/null
    cmake --build "$work/examples"
    # The installed library, not a build tree's, is the one that runs.
    # (Outputs are read whole before grep -q: with pipefail, grep leaving
    # early would fail the writer with SIGPIPE.)
    local libraries
    libraries=$(ldd "$work/examples/basic")
    grep -q "=> $work/install/lib/libcantrelle.so " <<<"$libraries" ||
        die "basic does not load $work/install/lib/libcantrelle.so: $libraries"
    expect_version_line "$("$work/examples/basic")" "$version"
    # Natively only the null output exists: overlap loads its sounds and stops.
    grep -q '^loaded the hit as 4 sounds' <<<"$("$work/examples/overlap")" || die "overlap did not load its sounds"
    echo "find_package(Cantrelle): examples built, basic and overlap ran against $work/install"

    local flags
    flags=$(PKG_CONFIG_PATH=$work/install/lib/pkgconfig pkg-config --cflags --libs "cantrelle = $version")
    # shellcheck disable=SC2086 # the flags are words
    cc -std=c99 -Wall -Werror "$root/examples/basic.c" $flags -lm -o "$work/basic-pkg-config"
    expect_version_line "$(LD_LIBRARY_PATH=$work/install/lib "$work/basic-pkg-config")" "$version"
    echo "pkg-config cantrelle: $flags; basic built and ran"
}

install_mingw() {
    local build=$1 work=$2 version=$3 wine_dir=$4
    fresh "$work"
    cmake --install "$build" --prefix "$work/install" >/dev/null
    cmake -S "$root/examples" -B "$work/examples" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_PREFIX_PATH="$work/install" >/dev/null
    cmake --build "$work/examples"
    local exe table
    for exe in basic metronome overlap calibrate; do
        table=$(x86_64-w64-mingw32-objdump -p "$work/examples/$exe.exe")
        grep -q 'DLL Name: Cantrelle.dll' <<<"$table" || die "$exe.exe does not import Cantrelle.dll"
    done
    cmp "$work/install/bin/Cantrelle.dll" "$work/examples/Cantrelle.dll" ||
        die "the examples' Cantrelle.dll is not the installed one"
    local output
    output=$("$scripts/wine-run.sh" --dir "$wine_dir" --name package_mingw_basic "$work/examples/basic.exe" |
        tr -d '\r')
    expect_version_line "$output" "$version"
    echo "MinGW examples built against $work/install; basic.exe ran under Wine"
}

msvc_link() {
    local build=$1 work=$2 wine_dir=$3
    fresh "$work"
    # The client's one other import: ExitProcess, from an import library
    # made here, since no Windows SDK is at hand.
    printf 'LIBRARY kernel32.dll\nEXPORTS\n    ExitProcess\n' >"$work/kernel32.def"
    llvm-dlltool -m i386:x86-64 -d "$work/kernel32.def" -l "$work/kernel32.lib"
    clang --target=x86_64-pc-windows-msvc -ffreestanding -O1 -Wall -Wextra -Werror -I "$root/include" \
        -c "$root/tests/package/msvc_client.c" -o "$work/msvc_client.obj"
    lld-link /nologo /nodefaultlib /entry:clientEntry /subsystem:console /out:"$work/msvc_client.exe" \
        "$work/msvc_client.obj" "$build/Cantrelle.lib" "$work/kernel32.lib"
    local imports
    imports=$(x86_64-w64-mingw32-objdump -p "$work/msvc_client.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort)
    same_list "DLLs msvc_client.exe imports" "$imports" "Cantrelle.dll
kernel32.dll"
    cp "$build/Cantrelle.dll" "$work/"
    local status=0
    "$scripts/wine-run.sh" --dir "$wine_dir" --name package_msvc_client "$work/msvc_client.exe" || status=$?
    [[ $status -eq 0 ]] || die "msvc_client.exe failed check $status (see tests/package/msvc_client.c)"
    echo "msvc_client.exe, linked with Cantrelle.lib by lld-link, passed its checks under Wine"
}

msvc_cmake() {
    local build=$1 work=$2 wine_dir=$3
    local project=$root/tests/package/msvc_cmake
    fresh "$work"
    cmake --install "$build" --prefix "$work/install" >/dev/null
    cmake -S "$project" -B "$work/client" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$project/clang-cl-toolchain.cmake" -DCMAKE_PREFIX_PATH="$work/install" >/dev/null
    cmake --build "$work/client" --verbose
    local status=0
    "$scripts/wine-run.sh" --dir "$wine_dir" --name package_msvc_cmake "$work/client/msvc_client.exe" || status=$?
    [[ $status -eq 0 ]] || die "msvc_client.exe failed check $status (see tests/package/msvc_client.c)"
    echo "find_package(Cantrelle) on CMake's MSVC path linked Cantrelle.lib; msvc_client.exe passed under Wine"
}

release_archive() {
    local build=$1 work=$2 version=$3 wine_dir=$4
    fresh "$work"
    "$scripts/release.sh" --windows-build "$build" --out "$work/out"
    local name=Cantrelle-$version-windows-x64
    local zip=$work/out/$name.zip
    [[ -f $zip && -f $zip.sha256 ]] || die "release.sh made no $name.zip with its .sha256"
    (cd "$work/out" && sha256sum --check --strict "$name.zip.sha256")

    local expected
    expected=$(grep -v '^[[:space:]]*$' "$root/tests/package/release_contents.txt")
    same_list "contents of $name.zip" "$(unzip -Z1 "$zip" | LC_ALL=C sort)" \
        "$(sed "s|^|$name/|" <<<"$expected" | LC_ALL=C sort)"

    unzip -q "$zip" -d "$work/unpacked"
    local package=$work/unpacked/$name
    "$scripts/check-library.sh" dll-exports "$package/bin/Cantrelle.dll" "$exports"
    "$scripts/check-library.sh" dll-imports "$package/bin/Cantrelle.dll" >/dev/null
    "$scripts/check-library.sh" lib-exports "$package/lib/Cantrelle.lib" Cantrelle.dll "$exports"
    same_list "names in Cantrelle.def" "$(sed -n 's/^    //p' "$package/lib/Cantrelle.def" | sort)" \
        "$(grep -v '^[[:space:]]*$' "$exports" | sort)"
    local path sources=(include/cantrelle.h LICENSE examples/basic.c examples/metronome.c examples/calibrate.c
        examples/overlap.c examples/CMakeLists.txt examples/csharp/Clicks.cs bindings/csharp/Cantrelle.cs docs/guide.md
        docs/csharp.md)
    for path in "${sources[@]}"; do
        cmp "$root/$path" "$package/$path" || die "$path in the archive differs from the source tree"
    done
    cmp "$root/packaging/README-user.md" "$package/README.md" || die "README.md is not packaging/README-user.md"
    cmp "$root/packaging/mingw-w64-x86_64.cmake" "$package/cmake/mingw-w64-x86_64.cmake" ||
        die "cmake/mingw-w64-x86_64.cmake is not packaging/mingw-w64-x86_64.cmake"
    local line
    while IFS= read -r line; do
        grep -qxF "$line" "$package/README.md" || die "README.md does not show the toolchain file's line '$line'"
    done <"$package/cmake/mingw-w64-x86_64.cmake"

    # A Linux user's build, as the archive's README gives it: the unpacked
    # archive is the CMake package, found through the archive's own
    # toolchain file, and the same files serve a plain command line.
    local archive_toolchain=$package/cmake/mingw-w64-x86_64.cmake
    cmake -S "$package/examples" -B "$work/examples" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$archive_toolchain" \
        -DCMAKE_PREFIX_PATH="$package" >/dev/null
    cmake --build "$work/examples" >/dev/null
    cmp "$package/bin/Cantrelle.dll" "$work/examples/Cantrelle.dll" ||
        die "the examples' Cantrelle.dll is not the archive's"
    mkdir "$work/command-line"
    x86_64-w64-mingw32-gcc "$package/examples/basic.c" -I"$package/include" -L"$package/lib" -lCantrelle \
        -o "$work/command-line/basic.exe"
    cp "$package/bin/Cantrelle.dll" "$work/command-line/"
    local how output
    for how in examples command-line; do
        output=$("$scripts/wine-run.sh" --dir "$wine_dir" --name "package_release_$how" "$work/$how/basic.exe" |
            tr -d '\r')
        expect_version_line "$output" "$version"
    done
    echo "$name.zip: $(echo "$expected" | wc -l) files as listed, sum verified; with its toolchain file the" \
        "examples built from it (CMake) and basic.c (command line), and both basic.exe ran under Wine"
}

usage() { sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2; }

command=${1:-}
shift || true
case "$command:$#" in
    install-native:3) install_native "$@" ;;
    install-mingw:4) install_mingw "$@" ;;
    msvc-link:3) msvc_link "$@" ;;
    msvc-cmake:3) msvc_cmake "$@" ;;
    release-archive:4) release_archive "$@" ;;
    *) usage ;;
esac
