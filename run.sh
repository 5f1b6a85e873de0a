#!/usr/bin/env bash
# Builds the program into build/ and runs it. Without a display it runs the command-line
# program on the sample data set instead.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup-packages.sh
bm_install_packages

cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)"

if [ -x build/brindlemark ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/brindlemark "$@"
fi

echo "No display: running brindlemark-cli on the sample data set instead."
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cli=build/brindlemark-cli
"$cli" --home "$home" init
# Load prints the row count of every table when it is done.
"$cli" --home "$home" load samples/herd.DIF
