#!/usr/bin/env bash
# Checks that the C++ sources are formatted and that clang-tidy finds nothing in the program's code.
#   scripts/lint.sh BUILD_DIR   (a configured build directory with compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/lint.sh BUILD_DIR}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "Some files are not formatted: run clang-format -i on them." >&2
    exit 1
fi
echo "clang-format: ${#sources[@]} files formatted"

run-clang-tidy -p "$build" -quiet -j"$(nproc)" "$PWD/(app|engine|protocol|midi|sim|resources)/.*\.cpp$" \
    > "$build/clang-tidy.log" 2>&1 || {
    grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
    echo "clang-tidy found problems (full log: $build/clang-tidy.log)" >&2
    exit 1
}
echo "clang-tidy: no findings"
