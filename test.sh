#!/usr/bin/env bash
# Builds everything into build/ and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup-packages.sh
bm_install_packages

cmake -S . -B build -G Ninja -DBM_WERROR=ON
cmake --build build -j"$(nproc)"

# Formatting is part of the tests: the sources follow .clang-format.
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench -name '*.cpp' -o -name '*.h')
if ((${#sources[@]})); then
  clang-format --dry-run --Werror "${sources[@]}"
fi

# The rooms of the core include only the rooms below them.
python3 tools/check-layers.py

# The PostgreSQL tests start a throw-away cluster and stop it at their end; should the run be
# cut short, it is stopped here however this script ends.
trap 'tools/pg-cluster.sh stop "$(cat build/pg-cluster-dir)" 2>/dev/null || true' EXIT

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2 --timeout 600
