#!/usr/bin/env bash
# Takes a picture of the main window with the sample data set loaded, under the offscreen
# platform, and saves it as docs/main-window.png (or the file given as the first argument).
# Usage: tools/screenshot.sh [OUT.png] [TAB] [SORT-COLUMN]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}
tab=${2:-104}
sort=${3:-CowID}

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target brindlemark-cli bm-screenshot program-data >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cli=build/brindlemark-cli
"$cli" --home "$home" init --quiet
"$cli" --home "$home" --quiet load samples/herd.DIF >/dev/null

mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=offscreen build/bm-screenshot --home "$home" --out "$out" --tab "$tab" \
  --sort "$sort" --size 1280x720
echo "Saved $out"
