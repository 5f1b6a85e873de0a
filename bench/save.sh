#!/usr/bin/env bash
# Save benchmark: a test-day table (104) of ROWS rows (default 1,000,000) saved as DIF and as CSV
# by brindlemark-cli, each timed against the sqlite3 shell's CSV output of the same table in the
# same run. Prints one line per case with the ratio ours / reference (target: below 1.0).
#
#   bench/save.sh [ROWS]        (builds build/ first when brindlemark-cli is missing)
#
# Each command runs RUNS times (default 3), interleaved with the reference; the best time of
# each counts. Not part of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
runs=${RUNS:-3}
cli=${BM_CLI:-build/brindlemark-cli}
if [ ! -x "$cli" ]; then
  cmake -S . -B build -G Ninja >/dev/null
  cmake --build build -j2 --target brindlemark-cli >/dev/null
fi
command -v sqlite3 >/dev/null || { echo "bench/save.sh needs the sqlite3 shell" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
"$cli" --home "$home" --quiet init

# The table, filled by SQL: every column of the current layout, a few nulls, the current
# version already stamped (so the stamp changes no row, as for data saved before).
echo "Filling table 104 with $rows rows..." >&2
sqlite3 "$home/Tembra.db" >/dev/null <<SQL
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO "104" SELECT '104', 2, printf('H%07d', i % 500), printf('%d', i % 3000),
  printf('HOLAUSF%012d', i), date('2015-01-01', '+' || (i % 1500) || ' days'),
  CASE WHEN i % 50 = 0 THEN NULL ELSE date('2014-06-01', '+' || (i % 1200) || ' days') END,
  1 + i % 8, i % 400, (50 + i % 400) / 10.0, (300 + i % 300) / 100.0, (280 + i % 150) / 100.0,
  (450 + i % 60) / 100.0, (1200 + i % 300) / 100.0,
  CASE WHEN i % 37 = 0 THEN NULL ELSE i % 2000 END, 2, 1 + i % 2, 'N', 'B',
  (100 + i % 200) / 10.0, (i % 50) / 100.0, printf('A%09d', i), 'L02', 'M'
FROM n;
COMMIT;
SQL

seconds() { # the wall-clock time of a command, in seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}
min() { printf '%s\n' "$@" | sort -g | head -1; }

reference() { sqlite3 -csv "$home/Tembra.db" 'SELECT * FROM "104"' >"$work/ref.csv"; }
save_dif() { "$cli" --home "$home" --quiet save --dif --types 104 "$work/out.zip"; }
save_csv() { "$cli" --home "$home" --quiet save --csv --types 104 "$work/out.csv"; }

reference # warm the page cache
ref=() dif=() csv=()
for ((k = 0; k < runs; k++)); do
  ref+=("$(seconds reference)")
  dif+=("$(seconds save_dif)")
  csv+=("$(seconds save_csv)")
done
r=$(min "${ref[@]}")
for case in dif csv; do
  declare -n times=$case
  t=$(min "${times[@]}")
  awk -v c="$case" -v n="$rows" -v t="$t" -v r="$r" 'BEGIN {
    printf "save-%s  rows %d  ours %6.2fs  sqlite3 -csv %6.2fs  ratio %.2f  %s\n", c, n, t, r,
      t / r, (t / r < 1.0 ? "ok" : "ABOVE TARGET 1.0") }'
done
ls -l "$work/out.104" "$work/out_104.csv" "$work/ref.csv" | awk '{print "  " $5 "\t" $NF}' >&2
