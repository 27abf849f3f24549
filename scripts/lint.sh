#!/usr/bin/env bash
# The checks of docs/style.md that a tool can make: clang-tidy's identifier
# naming (.clang-tidy) over the agent's sources and the headers they include.
# Tests and fuzz targets are left out (their names come from gtest and
# libFuzzer macros).
#
# usage: scripts/lint.sh [BUILD_DIR]   (a build tree with compile_commands.json)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
[ -f "$build/compile_commands.json" ] || { echo "lint: no compile_commands.json in $build" >&2; exit 1; }
command -v clang-tidy > /dev/null || { echo "lint: clang-tidy is not installed" >&2; exit 1; }

mapfile -t sources < <(cd "$root" && find agent -name '*.cpp' -not -path '*/tests/*' \
  -not -path '*/fuzz/*' | sort)
cd "$root"
clang-tidy -p "$build" --quiet "${sources[@]}" 2> /dev/null
echo "lint: ${#sources[@]} sources follow the naming rules"
