#!/usr/bin/env bash
# Takes a picture of the main window with the sample data set loaded, under the offscreen
# platform, and saves it as docs/main-window.png (or the file given as the first argument).
# Usage: tools/screenshot.sh [OUT.png] [TAB]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}
tab=${2:-104}

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target brindlemark-cli bm-screenshot program-data >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cli=build/brindlemark-cli
"$cli" --home "$home" init --quiet
if compgen -G 'samples/*.1[0-9][0-9]' >/dev/null; then
  data=samples
else
  # No sample data set yet: a small generated herd stands in.
  data="$home/sample"
  python3 tools/screenshot-sample.py "$data" data/Defs
fi
for f in "$data"/*.[12][0-9][0-9]; do
  [ -s "$f" ] && "$cli" --home "$home" --quiet import "$f"
done

mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=offscreen build/bm-screenshot --home "$home" --out "$out" --tab "$tab" \
  --size 1280x720
echo "Saved $out"
