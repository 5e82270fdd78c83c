#!/bin/bash
# Checks that every C++ source in src/ tests/ fuzz/ bench/ is formatted as .clang-format says.
# Changes nothing; exit 1 when a file is off (clang-format names the lines), 0 when all are clean.
# usage: tools/check-format.sh [FILE...]   (default: every tracked source)
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${CLANG_FORMAT:-clang-format}
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
        'fuzz/*.cpp' 'fuzz/*.h' 'bench/*.cpp' 'bench/*.h')
fi
if [ ${#files[@]} -eq 0 ]; then
    echo "check-format: no sources found" >&2
    exit 1
fi
off=0
for f in "${files[@]}"; do
    "$clang_format" --dry-run -Werror "$f" 2>/dev/null >/dev/null || { echo "not formatted: $f"; off=$((off + 1)); }
done
if [ $off -gt 0 ]; then
    echo "check-format: $off of ${#files[@]} files are not formatted (run: clang-format -i FILE)" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
