#!/usr/bin/env bash
# Takes a picture of the main window with the sample data set loaded, under the offscreen
# platform, and saves it as docs/main-window.png (or the file given as the first argument).
# Usage: tools/screenshot.sh [OUT.png] [TAB] [SORT-COLUMN]
#        tools/screenshot.sh --file-check [OUT.png]
# The second form loads a generated data set with planted faults, runs File Check with the
# shipped script and saves a picture of the file-check window (default docs/file-check.png).
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = "--file-check" ]; then
  check=true
  shift
fi

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target brindlemark-cli brindlemark-gen bm-screenshot program-data >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cli=build/brindlemark-cli
"$cli" --home "$home" init --quiet

if $check; then
  out=${1:-docs/file-check.png}
  build/brindlemark-gen --home data --out-stem "$home/faults" --lines 3000 --faults 2 >/dev/null
  "$cli" --home "$home" --quiet load "$home/faults.101" >/dev/null
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=offscreen build/bm-screenshot --home "$home" --out "$out" --file-check
else
  out=${1:-docs/main-window.png}
  tab=${2:-104}
  sort=${3:-CowID}
  "$cli" --home "$home" --quiet load samples/herd.DIF >/dev/null
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=offscreen build/bm-screenshot --home "$home" --out "$out" --tab "$tab" \
    --sort "$sort" --size 1280x720
fi
echo "Saved $out"
