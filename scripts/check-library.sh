#!/usr/bin/env bash
# Checks of the built libraries and the public header, one per call, so each
# is its own ctest test:
#
#   check-library.sh so-exports LIB.so EXPORTS       dynamic exports == EXPORTS
#   check-library.sh dll-exports DLL EXPORTS         export table == EXPORTS
#   check-library.sh dll-imports DLL                 imports only system DLLs
#   check-library.sh lib-exports LIB DLLNAME EXPORTS import library LIB imports
#                                                    exactly EXPORTS, by name, from DLLNAME
#   check-library.sh header-declares HEADER EXPORTS CC
#                                                    HEADER declares each export
#   check-library.sh header-compiles HEADER CC CXX   HEADER is clean C99 and C++
#
# EXPORTS is src/api/exports.txt: one function name per line.
set -euo pipefail

OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
LLVM_READOBJ=${LLVM_READOBJ:-llvm-readobj}

# DLLs that ship with every Windows: the only ones Cantrelle.dll may import.
# Anything else (libstdc++-6, libgcc_s_seh-1, libwinpthread-1, ...) would
# have to be shipped beside it.
SYSTEM_DLLS='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|winmm|avrt|mfplat|mf|mfreadwrite|propsys|ksuser|xinput1_4|xinput9_1_0|msvcrt|ntdll|bcrypt|api-ms-win-.*)\.dll$'

die() { echo "check-library: $*" >&2; exit 1; }

expected_exports() { grep -v '^[[:space:]]*$' "$1" | sort; }

# Prints the difference; fails when the two sorted lists differ.
compare() {
    local what=$1 actual=$2 expected=$3
    if ! diff -u --label "$expected_file" --label "$what" <(echo "$expected") <(echo "$actual"); then
        die "$what does not match $expected_file ('+' lines are extra, '-' lines missing)"
    fi
    echo "$what: $(echo "$actual" | wc -l) names, as listed"
}

so_exports() {
    local lib=$1
    expected_file=$2
    [[ -f $lib ]] || die "$lib not found"
    local actual
    actual=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | sort)
    compare "exports of $lib" "$actual" "$(expected_exports "$expected_file")"
}

dll_exports() {
    local dll=$1
    expected_file=$2
    [[ -f $dll ]] || die "$dll not found"
    local table names addresses
    table=$("$OBJDUMP" -p "$dll")
    names=$(echo "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)
    # An export without a name (ordinal only) is in the address table alone.
    addresses=$(echo "$table" | grep -c 'Export RVA$\|Forwarder RVA' || true)
    [[ $addresses -eq $(echo "$names" | grep -c .) ]] ||
        die "$dll has $addresses exports but $(echo "$names" | grep -c .) names"
    compare "exports of $dll" "$names" "$(expected_exports "$expected_file")"
}

dll_imports() {
    local dll=$1
    [[ -f $dll ]] || die "$dll not found"
    local imports bad
    imports=$("$OBJDUMP" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
    echo "$dll imports:"
    sed 's/^/  /' <<<"$imports"
    bad=$(grep -viE "$SYSTEM_DLLS" <<<"$imports" || true)
    [[ -z $bad ]] || die "imports that are not system DLLs: $(echo $bad)"
}

# An import library for the Microsoft linker holds one short import member
# per function: its DLL, its kind (code), how the name is looked up (by the
# undecorated name: x64 has no leading underscore) and two symbols, the
# thunk NAME and the pointer __imp_NAME. Anything else, an import by
# ordinal, from another DLL or a name without its pair, is a fault.
lib_exports() {
    local lib=$1 dll=$2
    expected_file=$3
    [[ -f $lib ]] || die "$lib not found"
    local listing names
    listing=$("$LLVM_READOBJ" "$lib") || die "$LLVM_READOBJ cannot read $lib"
    names=$(awk -v dll="$dll" '
        function finish() {
            if (!inImport) return
            if (file != dll || type != "code" || nameType != "name" || thunk == "" || pointer != "__imp_" thunk) {
                printf "bad import member: file %s, type %s, name type %s, symbols %s %s\n", file, type, nameType, pointer, thunk > "/dev/stderr"
                bad = 1
            }
            print thunk
            inImport = 0
        }
        /^File: / { finish(); file = $2; type = nameType = pointer = thunk = "" }
        /^Format: COFF-import-file/ { inImport = 1 }
        /^Type: / { type = $2 }
        /^Name type: / { nameType = $3 }
        /^Symbol: __imp_/ { pointer = $2; next }
        /^Symbol: / { thunk = $2 }
        END { finish(); exit bad }' <<<"$listing" | sort) || die "$lib has import members that are not plain imports by name from $dll"
    compare "imports of $lib" "$names" "$(expected_exports "$expected_file")"
}

header_declares() {
    local header=$1 exports=$2 cc=$3
    # Taking each address makes the compiler, not a text search, confirm the
    # declaration; -Werror turns an implicit declaration into a failure.
    local probe
    probe=$(mktemp --suffix=.c)
    trap 'rm -f "$probe"' RETURN
    {
        echo '#include "cantrelle.h"'
        echo 'void probe(void);'
        echo 'void probe(void) {'
        grep -v '^[[:space:]]*$' "$exports" | sed 's/.*/    (void)\&&;/'
        echo '}'
    } >"$probe"
    "$cc" -std=c99 -Wall -Werror=implicit-function-declaration -Werror -fsyntax-only \
        -I"$(dirname "$header")" "$probe" || die "$header does not declare every name in $exports"
    echo "$header declares all $(grep -c . "$exports") exports"
}

header_compiles() {
    local header=$1 cc=$2 cxx=$3
    local include
    include=$(realpath "$header")
    echo "#include \"$include\"" | "$cc" -x c -std=c99 -pedantic -Wall -Wextra -Werror -fsyntax-only - ||
        die "$header is not clean C99"
    echo "#include \"$include\"" | "$cxx" -x c++ -std=c++11 -pedantic -Wall -Wextra -Werror -fsyntax-only - ||
        die "$header is not clean C++11"
    echo "#include \"$include\"" | "$cxx" -x c++ -std=c++20 -pedantic -Wall -Wextra -Werror -fsyntax-only - ||
        die "$header is not clean C++20"
    echo "$header compiles as C99, C++11 and C++20"
}

usage() { sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2; exit 2; }

command=${1:-}
shift || true
case "$command:$#" in
    so-exports:2) so_exports "$@" ;;
    dll-exports:2) dll_exports "$@" ;;
    dll-imports:1) dll_imports "$@" ;;
    lib-exports:3) lib_exports "$@" ;;
    header-declares:3) header_declares "$@" ;;
    header-compiles:3) header_compiles "$@" ;;
    *) usage ;;
esac
