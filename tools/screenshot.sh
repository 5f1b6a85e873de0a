#!/usr/bin/env bash
# Takes a picture of the main window after loading the sample data set with Load Files, under
# the offscreen platform: the test-day table filtered to the test days between two typed dates
# and sorted by CowID. Saves it as docs/main-window.png (or the file given as the first argument)
# at 1280 x 720, or at another size given as the fourth argument.
# Usage: tools/screenshot.sh [OUT.png] [TAB] [SORT-COLUMN] [WIDTHxHEIGHT]
#        tools/screenshot.sh --narrow  (docs/main-window-800.png, the window 800 pixels wide)
#        tools/screenshot.sh --file-check [OUT.png]
#        tools/screenshot.sh --charts  (docs/lactation-curves.png and docs/herd-summary.png)
#        tools/screenshot.sh --icon  (packaging/brindlemark.png, the installed icon, 256 x 256)
# The second form loads a generated data set with planted faults, runs File Check with the
# shipped script and saves a picture of the file-check window (default docs/file-check.png).
# The --charts form loads the sample data set and pictures Lactation Curves of a cow with five
# lactations (Fat % ticked) and Herd Summary of its herd, each window at 1000 x 600.
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
charts=false
if [ "${1:-}" = "--file-check" ]; then
  check=true
  shift
elif [ "${1:-}" = "--charts" ]; then
  charts=true
elif [ "${1:-}" = "--narrow" ]; then
  set -- docs/main-window-800.png 104 CowID 800x600
fi

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target brindlemark-cli brindlemark-gen bm-screenshot program-data >/dev/null

if [ "${1:-}" = "--icon" ]; then
  QT_QPA_PLATFORM=offscreen build/bm-screenshot --icon --out packaging/brindlemark.png
  echo "Saved packaging/brindlemark.png"
  exit 0
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cli=build/brindlemark-cli
"$cli" --home "$home" init --quiet

if $charts; then
  for chart in "--lactation JERAUSF000041000018 docs/lactation-curves.png" \
               "--herd-summary N5208156 docs/herd-summary.png"; do
    set -- $chart
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 build/bm-screenshot --home "$home" --out "$3" \
      --load samples/herd.zip --tab 104 "$1" "$2" --size 1000x600
    echo "Saved $3"
  done
  exit 0
elif $check; then
  out=${1:-docs/file-check.png}
  build/brindlemark-gen --home data --out-stem "$home/faults" --lines 3000 --faults 2 >/dev/null
  "$cli" --home "$home" --quiet load "$home/faults.101" >/dev/null
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=offscreen build/bm-screenshot --home "$home" --out "$out" --file-check
else
  out=${1:-docs/main-window.png}
  tab=${2:-104}
  sort=${3:-CowID}
  size=${4:-1280x720}
  filter=()
  [ "$tab" = 104 ] && filter=(--filter "TestDate|Is Between|19 Nov 2010|19/02/2011")
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 build/bm-screenshot --home "$home" --out "$out" \
    --load samples/herd.zip --tab "$tab" "${filter[@]}" --sort "$sort" --size "$size"
fi
echo "Saved $out"
