#!/usr/bin/env bash
# Load benchmark: a 1,000,000-line combined DIF file of mixed record types is
#   split  (brindlemark-cli split) against GNU `sort -f` of the same file,
#   loaded (brindlemark-cli load)  against the sqlite3 shell's `.import` of the same rows as CSV,
# and the peak memory of the load is reported. Times are medians of RUNS runs; see
# bench/README-load.md. Exits 1 when a target is missed.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build}
LINES=${LINES:-1000000}
RUNS=${RUNS:-3}
WORK=${WORK:-$BUILD/bench-load}
CLI=$BUILD/brindlemark-cli
[ -x "$CLI" ] || { echo "bench/load.sh: build first ($CLI is missing)" >&2; exit 2; }
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

# Wall time in seconds and peak resident memory in kB of one command.
measure() {
  python3 - "$@" <<'EOF'
import os, subprocess, sys, time
start = time.monotonic()
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(p.pid, 0)
elapsed = time.monotonic() - start
if os.waitstatus_to_exitcode(status) != 0:
    sys.exit(f"failed: {' '.join(sys.argv[1:])}")
print(f"{elapsed:.3f} {usage.ru_maxrss}")
EOF
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

TYPES=(101 102 103 104 105 106 107 108 112 114 202 211)
DATA=$WORK/herd-$LINES.DIF
if [ ! -s "$DATA" ]; then
  echo "Generating $LINES lines into $DATA ..."
  python3 bench/make-combined.py "$BUILD/Defs" "$LINES" "$DATA.part"
  mv "$DATA.part" "$DATA"
fi

# An empty program folder to copy for every run.
TEMPLATE=$WORK/home-template
if [ ! -f "$TEMPLATE/Tembra.db" ]; then
  rm -rf "$TEMPLATE"
  "$CLI" --home "$TEMPLATE" init --quiet
fi
fresh_home() { rm -rf "$WORK/home"; cp -r "$TEMPLATE" "$WORK/home"; }

split_ours=() split_ref=() load_ours=() load_ref=() load_mem=()
for ((run = 1; run <= RUNS; run++)); do
  echo "Run $run of $RUNS ..."
  fresh_home
  read -r t _ < <(measure "$CLI" --home "$WORK/home" split "$DATA" --quiet)
  split_ours+=("$t")
  read -r t _ < <(measure sort -f -o "$WORK/sorted.txt" "$DATA")
  split_ref+=("$t")
  rm -f "$WORK/sorted.txt"

  fresh_home
  read -r t kb < <(measure "$CLI" --home "$WORK/home" load "$DATA" --quiet)
  load_ours+=("$t")
  load_mem+=("$kb")

  # The same rows as CSV, written from what the load stored.
  if [ "$run" -eq 1 ]; then
    rm -rf "$WORK/csv"
    mkdir -p "$WORK/csv"
    total=0
    for t in "${TYPES[@]}"; do
      sqlite3 -csv -header "$WORK/home/Tembra.db" "SELECT * FROM [$t]" >"$WORK/csv/$t.csv"
      total=$((total + $(sqlite3 "$WORK/home/Tembra.db" "SELECT count(*) FROM [$t]")))
    done
    echo "  loaded $total rows"
    [ "$total" -eq "$LINES" ] || { echo "bench/load.sh: the load stored $total of $LINES rows" >&2; exit 1; }
  fi
  imports=()
  for t in "${TYPES[@]}"; do imports+=(".import --csv --skip 1 $WORK/csv/$t.csv $t"); done
  fresh_home
  read -r t _ < <(measure sqlite3 "$WORK/home/Tembra.db" "${imports[@]}")
  load_ref+=("$t")
done
rm -rf "$WORK/home"

s_ours=$(printf '%s\n' "${split_ours[@]}" | median)
s_ref=$(printf '%s\n' "${split_ref[@]}" | median)
l_ours=$(printf '%s\n' "${load_ours[@]}" | median)
l_ref=$(printf '%s\n' "${load_ref[@]}" | median)
mem=$(printf '%s\n' "${load_mem[@]}" | sort -n | tail -1)

python3 - "$s_ours" "$s_ref" "$l_ours" "$l_ref" "$mem" "$LINES" <<'EOF'
import sys
s_ours, s_ref, l_ours, l_ref, mem_kb = map(float, sys.argv[1:6])
lines = int(sys.argv[6])
rows = [
    ("split", f"ours {s_ours:.2f} s, sort -f {s_ref:.2f} s", s_ours / s_ref, "<= 1.5", s_ours / s_ref <= 1.5),
    ("load", f"ours {l_ours:.2f} s, sqlite3 .import {l_ref:.2f} s", l_ours / l_ref, "< 1.0", l_ours / l_ref < 1.0),
    ("memory", f"peak {mem_kb / 1024:.0f} MB while loading", mem_kb / 1024, "< 150 MB", mem_kb / 1024 < 150),
]
print(f"\nLoad benchmark, {lines} lines")
missed = False
for name, detail, value, target, ok in rows:
    shown = f"{value:.2f}" if name != "memory" else f"{value:.0f} MB"
    print(f"  {name:<7} {shown:>8}  target {target:<9} {'ok' if ok else 'MISSED'}   ({detail})")
    missed |= not ok
sys.exit(1 if missed else 0)
EOF
