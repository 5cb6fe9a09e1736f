#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format makes
# of it (style in .clang-format). Fix with: clang-format -i <file>
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
    if ! clang-format --dry-run --Werror "$file" 2>/dev/null; then
        echo "not formatted: $file"
        status=1
    fi
done < <(git ls-files '*.c' '*.cpp' '*.h')
exit $status
