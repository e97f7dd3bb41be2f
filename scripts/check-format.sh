#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from its clang-format form.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
mapfile -t sources < <(find app window renderer vr tests tools \
    \( -name '*.cpp' -o -name '*.c' -o -name '*.h' \) -not -path '*/build/*' | sort)
clang-format --dry-run --Werror "${sources[@]}"
echo "clang-format: ${#sources[@]} files clean"
