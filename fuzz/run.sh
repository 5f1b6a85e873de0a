#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for a while, one after the
# other, each on its own corpus seeded from samples/ and data/Defs/. Exits non-zero when a target
# finds a crash, a sanitizer report or a leak; the input that did it is left in build-fuzz/.
#
#   fuzz/run.sh [SECONDS] [TARGET...]      default: 60 seconds each, every target
#   targets: fuzz_import fuzz_layout fuzz_split fuzz_checkscript
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_import fuzz_layout fuzz_split fuzz_checkscript)

build=build-fuzz
if [ ! -f "$build/build.ninja" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CXX=clang++ CC=clang cmake -S . -B "$build" -G Ninja -DBM_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# Seeds: the sample data set's files, the shipped layouts, and the sample's lines in pieces no
# longer than the inputs the fuzzer makes.
seed() {
  local dir=$build/corpus/$1
  shift
  mkdir -p "$dir"
  [ -n "$(ls -A "$dir")" ] && return
  cp "$@" "$dir/"
}
seed fuzz_import samples/herd.1* samples/herd.2*
seed fuzz_layout data/Defs/*.ini
seed fuzz_checkscript data/FileCheck.SQL
if [ ! -d "$build/corpus/fuzz_split" ]; then
  mkdir -p "$build/corpus/fuzz_split"
  # The first byte of a split input chooses the collation.
  split -b 12000 -d samples/herd.DIF "$build/corpus/fuzz_split/piece"
  for f in "$build"/corpus/fuzz_split/piece*; do printf '\001' | cat - "$f" > "$f.in" && rm "$f"; done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  case $t in
    fuzz_layout | fuzz_checkscript) max=4096 ;;
    *) max=16384 ;;
  esac
  echo "== $t for ${seconds}s"
  mkdir -p "$build/artifacts/$t"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len="$max" -timeout=30 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" "$build/corpus/$t" \
      2>"$build/$t.log"; then
    status=1
    tail -n 60 "$build/$t.log"
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$build/$t.log" || true
done
exit $status
