#!/usr/bin/env bash
# Benchmarks of brindlemark against reference tools, timed in the same invocation on the same
# data. Each case prints our time, the reference time and their ratio (ours / reference).
#
#   bench/run.sh [--rows N] [--keep] [CASE ...]
#       CASE: import, floor, split, load, save-dif, save-csv, requery, sort, scroll, cleanup,
#             undo, yields, save-ade, pg-load, all
#             (default: all)
#
# See bench/README.md. Builds a Release tree in build-bench/ when needed.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH=$ROOT/bench
BUILD=${BM_BENCH_BUILD:-$ROOT/build-bench}
DATA=$BUILD/bench-data
ROWS=1000000
KEEP=0

# The cases, in the order `all` runs them. A case NAME is the function case_NAME.
CASES=(import floor split load save-dif save-csv requery sort scroll cleanup undo yields save-ade
    pg-load)

usage() {
    sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
    exit "${1:-0}"
}

die() {
    echo "bench: $*" >&2
    exit 1
}

# ---------------------------------------------------------------------------------------------
# Set-up

# Installs the Debian packages of the reference tools when their commands are missing.
need_packages() {
    local missing=()
    [ -x /usr/bin/time ] || missing+=(time)
    command -v sqlite3 >/dev/null 2>&1 || missing+=(sqlite3)
    [ ${#missing[@]} -eq 0 ] && return
    echo "bench: installing ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Configures build-bench/ as a Release tree when it is new, then brings the programs and their
# data files (Defs/) up to date.
build() {
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$BUILD/CMakeCache.txt" \
        || die "$BUILD is not a Release build tree; remove it or set BM_BENCH_BUILD"
    cmake --build "$BUILD" -j2 --target brindlemark-gen brindlemark-cli bm-bench-grid \
        bm-bench-undo program-data >/dev/null
}

# The current layout file of a record type, from the source tree's layouts.
layout_of() {
    local version
    version=$(awk -F= -v code="$1" '{ sub(/\r$/, "") } $1 == code { gsub(/[ \t]/, "", $2); print $2 }' \
        "$ROOT/data/Defs/DIFVersion.ini")
    [ -n "$version" ] || die "no current version of record type $1"
    echo "$ROOT/data/Defs/DIF$1V$version.ini"
}

# Test-day data: $DATA/td-ROWS.104 (DIF) and td-ROWS.csv (the same rows as CSV), made again
# when the generator is newer than them.
TD_DIF=
TD_CSV=
testday_data() {
    mkdir -p "$DATA"
    TD_DIF=$DATA/td-$ROWS.104
    TD_CSV=$DATA/td-$ROWS.csv
    if [ ! -s "$TD_CSV" ] || [ "$BUILD/brindlemark-gen" -nt "$TD_CSV" ]; then
        echo "bench: generating $ROWS test-day rows" >&2
        "$BUILD/brindlemark-gen" --home "$ROOT/data" --only 104 --test-days "$ROWS" \
            --out-stem "$DATA/td-$ROWS" >/dev/null
        LC_ALL=C awk -v layout="$(layout_of 104)" -f "$BENCH/lib/dif-csv.awk" "$TD_DIF" \
            >"$TD_CSV.tmp"
        mv "$TD_CSV.tmp" "$TD_CSV"
    fi
}

# A combined data set of about ROWS lines, every record type mixed: $DATA/mix-ROWS.DIF, the same
# records as per-type files $DATA/mix-ROWS.101 ... .211, and each of those as CSV
# ($DATA/mix-ROWS-<code>.csv). Made again when the generator is newer than them.
MIX_DIF=
MIX_STEM=
TYPES=(101 102 103 104 105 106 107 108 112 114 202 211)
mixed_data() {
    mkdir -p "$DATA"
    MIX_STEM=$DATA/mix-$ROWS
    MIX_DIF=$MIX_STEM.DIF
    if [ ! -s "$MIX_STEM-211.csv" ] || [ "$BUILD/brindlemark-gen" -nt "$MIX_STEM-211.csv" ]; then
        echo "bench: generating a combined file of about $ROWS lines" >&2
        "$BUILD/brindlemark-gen" --home "$ROOT/data" --lines "$ROWS" --out-stem "$MIX_STEM" \
            --combined "$MIX_DIF" >/dev/null
        local code
        for code in "${TYPES[@]}"; do
            LC_ALL=C awk -v layout="$(layout_of "$code")" -f "$BENCH/lib/dif-csv.awk" \
                "$MIX_STEM.$code" >"$MIX_STEM-$code.csv.tmp"
            mv "$MIX_STEM-$code.csv.tmp" "$MIX_STEM-$code.csv"
        done
    fi
}

# Clean-up data: the pedigree, lactation and test-day files $DATA/clean-ROWS.102 (ROWS/5 lines),
# .103 (ROWS/10 lines) and .104 (ROWS lines), the first lines of each file of one generated data
# set that is large enough for all three, with cows left out of the pedigree file planted (one in
# a thousand test days' worth). Made again when the generator is newer than them.
CLEAN_STEM=
cleanup_data() {
    mkdir -p "$DATA"
    CLEAN_STEM=$DATA/clean-$ROWS
    local pedigrees=$((ROWS / 5)) lactations=$((ROWS / 10)) full=$DATA/clean-full-$ROWS
    if [ ! -s "$CLEAN_STEM.104" ] || [ "$BUILD/brindlemark-gen" -nt "$CLEAN_STEM.104" ]; then
        echo "bench: generating $pedigrees pedigrees, $lactations lactations, $ROWS test days" >&2
        "$BUILD/brindlemark-gen" --home "$ROOT/data" --only 102,103,104 \
            --test-days $((ROWS * 7 / 2)) --faults $((ROWS / 1000 + 1)) --out-stem "$full" \
            >/dev/null 2>&1
        head -n "$pedigrees" "$full.102" >"$CLEAN_STEM.102"
        head -n "$lactations" "$full.103" >"$CLEAN_STEM.103"
        head -n "$ROWS" "$full.104" >"$CLEAN_STEM.104.tmp"
        rm -f "$full".1*
        [ "$(wc -l <"$CLEAN_STEM.102")" -eq "$pedigrees" ] \
            || die "the generated data set holds fewer than $pedigrees pedigree records"
        mv "$CLEAN_STEM.104.tmp" "$CLEAN_STEM.104"
    fi
}

# A fresh, empty folder for one run.
WORK=
fresh_dir() {
    local dir=$WORK/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "$dir"
}

# A fresh program home with an empty herd database made by `brindlemark-cli init`.
fresh_home() {
    local home
    home=$(fresh_dir "$1")
    "$BUILD/brindlemark-cli" --home "$home" init >/dev/null \
        || die "brindlemark-cli --home $home init failed"
    [ -f "$home/Tembra.db" ] || die "brindlemark-cli init did not create $home/Tembra.db"
    echo "$home"
}

# timed NAME COMMAND...: runs COMMAND once; sets SECONDS_<NAME> (wall clock) and RSS_<NAME>
# (peak resident memory, kB).
timed() {
    local name=$1 start end stats
    shift
    stats=$WORK/time-$name
    start=$(date +%s.%N)
    if ! /usr/bin/time -f '%M' -o "$stats" "$@" >"$WORK/out-$name" 2>&1; then
        cat "$WORK/out-$name" >&2
        die "failed: $*"
    fi
    end=$(date +%s.%N)
    printf -v "SECONDS_$name" '%s' "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')"
    printf -v "RSS_$name" '%s' "$(tail -n 1 "$stats")"
}

rows_in() {
    sqlite3 "$1" "SELECT count(*) FROM \"$2\";"
}

# report CASE WHAT-OURS WHAT-REFERENCE OURS REFERENCE RSS-KB
report() {
    awk -v c="$1" -v a="$2" -v b="$3" -v o="$4" -v r="$5" -v m="$6" 'BEGIN {
        printf "%-8s %-34s %8.3f s   peak %6.1f MB\n", c, a, o, m / 1024
        printf "%-8s %-34s %8.3f s\n", "", b, r
        printf "%-8s %-34s %8.2f\n", "", "ratio (ours / reference)", (r > 0 ? o / r : 0)
        printf "RESULT %s ours=%.3f reference=%.3f ratio=%.3f peak_mb=%.1f\n", c, o, r,
               (r > 0 ? o / r : 0), m / 1024
    }'
}

# ---------------------------------------------------------------------------------------------
# Cases

# timed_import: our import of the ROWS test-day lines into a fresh herd database, timed as
# "ours", with its rows counted.
timed_import() {
    local home loaded
    home=$(fresh_home import)
    timed ours "$BUILD/brindlemark-cli" --home "$home" import "$TD_DIF"
    loaded=$(rows_in "$home/Tembra.db" 104)
    [ "$loaded" -eq "$ROWS" ] || die "brindlemark-cli import loaded $loaded of $ROWS rows"
}

# import: a test-day file of ROWS lines into an empty herd database, against the sqlite3
# shell's .import of the same rows as CSV into another empty herd database made the same way
# (brindlemark-cli init), with the shell's default settings.
case_import() {
    testday_data

    local shell_db
    shell_db=$(fresh_home shell)/Tembra.db
    timed shell sqlite3 "$shell_db" ".import --csv --skip 1 '$TD_CSV' 104"
    [ "$(rows_in "$shell_db" 104)" -eq "$ROWS" ] || die "sqlite3 .import did not load $ROWS rows"

    timed_import

    report import "brindlemark-cli import ($ROWS rows)" "sqlite3 .import --csv" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# floor: the same import against what the engine itself needs to write the same rows: an
# INSERT ... SELECT from a copy of them (the grid cases' database) into the empty table of
# another herd database made by init, in one transaction, with the shell's default settings.
case_floor() {
    grid_home
    local floor_db
    floor_db=$(fresh_home floor)/Tembra.db
    timed shell sqlite3 "$floor_db" "ATTACH '$GRID_HOME/Tembra.db' AS copy;" \
        "BEGIN; INSERT INTO main.\"104\" SELECT * FROM copy.\"104\"; COMMIT;"
    [ "$(rows_in "$floor_db" 104)" -eq "$ROWS" ] || die "INSERT ... SELECT did not write $ROWS rows"

    timed_import

    report floor "brindlemark-cli import ($ROWS rows)" "sqlite3 INSERT ... SELECT" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# split: the combined file split into per-type files (sorted by the locale's case-insensitive
# collation), against GNU sort -f of the same file. Both run under the environment's locale.
case_split() {
    mixed_data
    local lines home
    lines=$(wc -l <"$MIX_DIF")
    home=$(fresh_home split)
    timed ours "$BUILD/brindlemark-cli" --home "$home" split "$MIX_DIF"
    local written
    written=$(cat "$home"/Scratch/mix-"$ROWS".* | wc -l)
    [ "$written" -eq "$lines" ] || die "brindlemark-cli split wrote $written of $lines lines"

    local out
    out=$(fresh_dir sort)/sorted
    timed sort sort -f -o "$out" "$MIX_DIF"

    report split "brindlemark-cli split ($lines lines)" "sort -f" \
        "$SECONDS_ours" "$SECONDS_sort" "$RSS_ours"
}

# load: the combined file loaded into an empty herd database (split, then every table filled in
# one transaction), against the sqlite3 shell's .import of the same rows as CSV, one file per
# table, into another empty herd database.
case_load() {
    mixed_data
    local lines
    lines=$(wc -l <"$MIX_DIF")

    local shell_db imports=() code
    shell_db=$(fresh_home shell)/Tembra.db
    for code in "${TYPES[@]}"; do
        imports+=(".import --csv --skip 1 '$MIX_STEM-$code.csv' $code")
    done
    timed shell sqlite3 "$shell_db" "${imports[@]}"

    local home
    home=$(fresh_home load)
    timed ours "$BUILD/brindlemark-cli" --home "$home" load "$MIX_DIF"
    local ours=0 theirs=0
    for code in "${TYPES[@]}"; do
        ours=$((ours + $(rows_in "$home/Tembra.db" "$code")))
        theirs=$((theirs + $(rows_in "$shell_db" "$code")))
    done
    [ "$ours" -eq "$lines" ] || die "brindlemark-cli load stored $ours of $lines rows"
    [ "$theirs" -eq "$lines" ] || die "sqlite3 .import stored $theirs of $lines rows"

    report load "brindlemark-cli load ($lines lines)" "sqlite3 .import --csv (12 tables)" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# The grid cases share one herd database holding the ROWS test-day rows in table 104, made by
# brindlemark-cli import in this run (not timed).
GRID_HOME=
grid_home() {
    [ -n "$GRID_HOME" ] && return
    testday_data
    GRID_HOME=$(fresh_home grid)
    "$BUILD/brindlemark-cli" --home "$GRID_HOME" --quiet import "$TD_DIF" >/dev/null \
        || die "brindlemark-cli import into $GRID_HOME failed"
    # Both sides read a warm file.
    cat "$GRID_HOME/Tembra.db" >/dev/null
}

# grid_case CASE WHAT OPTIONS...: the main window's model on table 104 with OPTIONS against the
# sqlite3 shell running the statements the model runs (bm-bench-grid --sql), output discarded.
grid_case() {
    local name=$1 what=$2
    shift 2
    grid_home
    local sql=$WORK/$name.sql
    "$BUILD/bm-bench-grid" --home "$GRID_HOME" --table 104 --sql "$@" >"$sql"
    timed shell sqlite3 "$GRID_HOME/Tembra.db" ".read '$sql'"
    timed ours "$BUILD/bm-bench-grid" --home "$GRID_HOME" --table 104 "$@"
    grep -q "^$ROWS rows" "$WORK/out-ours" || die "bm-bench-grid: $(cat "$WORK/out-ours")"
    report "$name" "$what" "sqlite3 shell, same statements" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# requery: the grid re-queries table 104 (count and first rows shown), as after a tab change.
case_requery() {
    grid_case requery "grid re-query ($ROWS rows)"
}

# sort: a title click on Milk (ascending): count and first rows in the new order.
case_sort() {
    grid_case sort "title-click sort ($ROWS rows)" --sort Milk
}

# scroll: the sorted grid, then a jump to its last row (its last page read in reverse order).
case_scroll() {
    grid_case scroll "sort, then jump to the end" --sort Milk --last
}

# save_case CASE FORMAT FILE: saves table 104 of the grid cases' database as FORMAT (dif or
# csv) naming the output after FILE, against the sqlite3 shell's CSV output of the same table.
save_case() {
    local name=$1 format=$2 chosen=$3
    grid_home
    timed shell sqlite3 -csv "$GRID_HOME/Tembra.db" 'SELECT * FROM "104"'
    local out written lines=$ROWS
    [ "$format" = csv ] && lines=$((ROWS + 1)) # the header line
    out=$(fresh_dir "$name")
    timed ours "$BUILD/brindlemark-cli" --home "$GRID_HOME" --quiet save "--$format" \
        --types 104 "$out/$chosen"
    written=$(find "$out" -type f -name 'td*104*')
    [ -n "$written" ] && [ "$(wc -l <"$written")" -eq "$lines" ] \
        || die "brindlemark-cli save --$format did not write $lines lines"
    report "$name" "brindlemark-cli save --$format ($ROWS rows)" "sqlite3 -csv SELECT * FROM 104" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# save-dif: table 104 written as a per-type DIF file (td.104), with the version stamp.
case_save-dif() {
    save_case save-dif dif td.zip
}

# save-csv: table 104 written as CSV with its header line (td_104.csv).
case_save-csv() {
    save_case save-csv csv td.csv
}

# cleanup: "Remove Data For Cows Not In 102" with Yes to every prompt, on ROWS test days, ROWS/10
# lactations and ROWS/5 pedigree records, against the sqlite3 shell running the same six deletes
# in one transaction on a copy of the same database that has the two indexes on the pedigree table
# the deletes need (made before the timing). Both must leave the same rows.
case_cleanup() {
    cleanup_data
    local home shell_db
    home=$(fresh_home cleanup)
    "$BUILD/brindlemark-cli" --home "$home" --quiet load "$CLEAN_STEM.104" >/dev/null \
        || die "brindlemark-cli load $CLEAN_STEM.104 failed"
    shell_db=$(fresh_dir shell)/shell.db
    cp "$home/Tembra.db" "$shell_db"
    sqlite3 "$shell_db" 'CREATE INDEX master_nid ON "102" (NationalID);
                         CREATE INDEX master_cow ON "102" (CowID, HerdCode);'
    local deletes="BEGIN;" code
    for code in 103 104 106 108 112 211; do
        deletes+=" DELETE FROM \"$code\" WHERE NOT EXISTS (SELECT 1 FROM \"102\" AS m"
        deletes+=" WHERE m.NationalID = \"$code\".NationalID) AND NOT EXISTS (SELECT 1 FROM"
        deletes+=" \"102\" AS m WHERE m.CowID = \"$code\".CowID AND m.HerdCode = \"$code\".HerdCode);"
    done
    deletes+=" COMMIT;"
    # Both sides read a warm file.
    cat "$home/Tembra.db" "$shell_db" >/dev/null
    timed shell sqlite3 "$shell_db" "$deletes"
    timed ours "$BUILD/brindlemark-cli" --home "$home" --yes --quiet clean 102
    for code in 102 103 104; do
        [ "$(rows_in "$home/Tembra.db" "$code")" -eq "$(rows_in "$shell_db" "$code")" ] \
            || die "table $code: brindlemark-cli and the sqlite3 shell left different rows"
    done
    local removed
    removed=$(($(wc -l <"$CLEAN_STEM.104") - $(rows_in "$home/Tembra.db" 104)))
    report cleanup "clean 102 ($ROWS test days, $removed gone)" \
        "sqlite3 shell, 6 deletes, 2 indexes" "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# undo: keeping the state of a herd database of ROWS test days for undo (the online backup a bulk
# command makes before its transaction), against cp of the same database file. The driver times
# the copy itself and prints the seconds; cp is timed as a command.
case_undo() {
    testday_data
    local home
    home=$(fresh_home undo)
    "$BUILD/brindlemark-cli" --home "$home" --quiet import "$TD_DIF" >/dev/null \
        || die "brindlemark-cli import $TD_DIF failed"
    [ "$(rows_in "$home/Tembra.db" 104)" -eq "$ROWS" ] || die "the import did not load $ROWS rows"
    # Both sides read a warm file.
    cat "$home/Tembra.db" >/dev/null
    timed shell cp "$home/Tembra.db" "$WORK/copy.db"
    rm -f "$WORK/copy.db"
    timed ours "$BUILD/bm-bench-undo" --home "$home"
    local kept
    kept=$(tail -n 1 "$WORK/out-ours")
    local size
    size=$(stat -c %s "$home/Tembra.db")
    report undo "keep for undo ($ROWS test days, $((size / 1048576)) MB)" "cp of Tembra.db" \
        "$kept" "$SECONDS_shell" "$RSS_ours"
}

# yields: the lactation check of a data set of ROWS test days (and the lactations they belong to)
# written as CSV, against the sqlite3 shell running a window-function query that computes the same
# sums (bench/yields/reference.sql), output written to a file. The data set is loaded by
# brindlemark-cli load into a fresh herd database (not timed).
case_yields() {
    mkdir -p "$DATA"
    local stem=$DATA/yields-$ROWS
    if [ ! -s "$stem.104" ] || [ "$BUILD/brindlemark-gen" -nt "$stem.104" ]; then
        echo "bench: generating $ROWS test days and their lactations" >&2
        "$BUILD/brindlemark-gen" --home "$ROOT/data" --only 103,104 --test-days "$ROWS" \
            --out-stem "$stem" >/dev/null
    fi
    local home
    home=$(fresh_home yields)
    "$BUILD/brindlemark-cli" --home "$home" --quiet load "$stem.104" >/dev/null \
        || die "brindlemark-cli load $stem.104 failed"
    [ "$(rows_in "$home/Tembra.db" 104)" -eq "$ROWS" ] || die "the load did not store $ROWS test days"
    local lactations
    lactations=$(rows_in "$home/Tembra.db" 103)
    # Both sides read a warm file.
    cat "$home/Tembra.db" >/dev/null
    timed shell sqlite3 -csv "$home/Tembra.db" ".read '$BENCH/yields/reference.sql'"
    [ "$(wc -l <"$WORK/out-shell")" -gt 0 ] || die "the reference query gave no rows"
    timed ours "$BUILD/brindlemark-cli" --home "$home" --quiet yields "$WORK/yields.csv"
    [ "$(wc -l <"$WORK/yields.csv")" -eq $((lactations + 1)) ] \
        || die "brindlemark-cli yields did not write $lactations lactations"
    report yields "yields ($ROWS test days, $lactations lact.)" \
        "sqlite3 shell, window-function query" "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# save-ade: table 104 of the grid cases' database written as an ICAR ADE test-day collection
# (td_testdays.json), against the sqlite3 shell writing the same resources with json_object(),
# one a line. Our peak memory must not grow with ROWS (the rows are streamed).
case_save-ade() {
    grid_home
    local json="json_object('resourceType', 'icarTestDayResultEventResource',"
    json+=" 'id', NationalID || '/' || TestDate, 'eventDateTime', TestDate || 'T00:00:00Z',"
    json+=" 'animal', json_object('id', NationalID, 'scheme', lower(substr(NationalID, 1, 3))),"
    json+=" 'milkWeight24Hours', json_object('unitCode', 'KGM', 'value', round(Milk * 1.03, 3)),"
    json+=" 'milkCharacteristics', json_array("
    json+="json_object('characteristic', 'FAT', 'value', CAST(FatPercent AS TEXT)),"
    json+=" json_object('characteristic', 'PROTEIN', 'value', CAST(ProteinPercent AS TEXT)),"
    json+=" json_object('characteristic', 'LAC', 'value', CAST(LactosePercent AS TEXT)),"
    json+=" json_object('characteristic', 'SCC', 'value', CAST(CellCount AS TEXT))))"
    timed shell sqlite3 "$GRID_HOME/Tembra.db" "SELECT $json FROM \"104\""
    local out
    out=$(fresh_dir save-ade)
    timed ours "$BUILD/brindlemark-cli" --home "$GRID_HOME" --quiet save --ade --types 104 \
        "$out/td.json"
    [ "$(grep -c '^{"resourceType"' "$out/td_testdays.json")" -eq "$ROWS" ] \
        || die "brindlemark-cli save --ade did not write $ROWS test days"
    report save-ade "save --ade ($ROWS test days)" "sqlite3 json_object() per row" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# A throw-away PostgreSQL cluster for the server cases, started once and stopped at the end.
PG_DIR=
PG_URI=
pg_cluster() {
    [ -n "$PG_URI" ] && return
    # In /tmp: the server runs as its own user, who may not enter the build tree.
    PG_DIR=$(mktemp -d /tmp/bm-bench-pg.XXXXXX)
    "$ROOT/tools/pg-cluster.sh" start "$PG_DIR" --fast >/dev/null || die "cannot start PostgreSQL"
    PG_URI=$("$ROOT/tools/pg-cluster.sh" uri "$PG_DIR")
    psql -qX "$PG_URI" -c 'CREATE EXTENSION IF NOT EXISTS citext' >/dev/null
}

# A fresh schema NAME on the cluster with the herd tables made by brindlemark-cli init from the
# program folder $WORK/pg-NAME (which gets the layouts); prints its connection URI.
pg_schema() {
    psql -qX "$PG_URI" -c "DROP SCHEMA IF EXISTS $1 CASCADE; CREATE SCHEMA $1" >/dev/null 2>&1
    local uri="$PG_URI&options=-csearch_path%3D$1"
    "$BUILD/brindlemark-cli" --home "$(fresh_dir "pg-$1")" --database "$uri" init >/dev/null \
        || die "brindlemark-cli init on the server failed"
    echo "$uri"
}

pg_rows() {
    psql -qXAt "$1" -c "SELECT count(*) FROM \"$2\""
}

# pg-load: the combined file of about ROWS lines into a server database, against psql's \copy of
# the same rows (the per-type CSV files) into the same empty tables, in one transaction.
case_pg-load() {
    mixed_data
    pg_cluster
    local lines code
    lines=$(wc -l <"$MIX_DIF")
    local ref script=$WORK/pg-copy.sql
    ref=$(pg_schema ref)
    {
        echo "BEGIN;"
        for code in "${TYPES[@]}"; do
            local columns
            columns=$(head -n 1 "$MIX_STEM-$code.csv" | tr -d '\r' | sed 's/[^,]*/"&"/g')
            echo "\\copy \"$code\" ($columns) FROM '$MIX_STEM-$code.csv' WITH (FORMAT csv, HEADER true, ENCODING 'WIN1252')"
        done
        echo "COMMIT;"
    } >"$script"
    timed shell psql -qX -v ON_ERROR_STOP=1 "$ref" -f "$script"
    local ours_uri
    ours_uri=$(pg_schema ours)
    timed ours "$BUILD/brindlemark-cli" --home "$WORK/pg-ours" --database "$ours_uri" \
        load "$MIX_DIF"
    local ours=0 theirs=0
    for code in "${TYPES[@]}"; do
        ours=$((ours + $(pg_rows "$ours_uri" "$code")))
        theirs=$((theirs + $(pg_rows "$ref" "$code")))
    done
    [ "$ours" -eq "$lines" ] || die "brindlemark-cli load stored $ours of $lines rows on the server"
    [ "$theirs" -eq "$lines" ] || die "psql \\copy stored $theirs of $lines rows"
    report pg-load "brindlemark-cli load, server ($lines lines)" "psql \\copy csv (12 tables)" \
        "$SECONDS_ours" "$SECONDS_shell" "$RSS_ours"
}

# ---------------------------------------------------------------------------------------------

main() {
    local selected=()
    while [ $# -gt 0 ]; do
        case $1 in
        -h | --help) usage ;;
        --rows)
            [ $# -ge 2 ] && [[ $2 =~ ^[1-9][0-9]*$ ]] || die "--rows takes a positive number"
            ROWS=$2
            shift
            ;;
        --keep) KEEP=1 ;;
        all) selected+=("${CASES[@]}") ;;
        -*) echo "bench: unknown option $1" >&2; usage 2 ;;
        *)
            declare -F "case_$1" >/dev/null || { echo "bench: no case \"$1\"" >&2; usage 2; }
            selected+=("$1")
            ;;
        esac
        shift
    done
    [ ${#selected[@]} -gt 0 ] || selected=("${CASES[@]}")

    need_packages
    build
    mkdir -p "$BUILD/bench-runs"
    WORK=$(mktemp -d "$BUILD/bench-runs/run.XXXXXX")
    if [ "$KEEP" -eq 1 ]; then
        echo "bench: keeping $WORK" >&2
        trap '[ -z "$PG_DIR" ] || "$ROOT/tools/pg-cluster.sh" stop "$PG_DIR" >/dev/null 2>&1' EXIT
    else
        trap '[ -z "$PG_DIR" ] || "$ROOT/tools/pg-cluster.sh" stop "$PG_DIR" >/dev/null 2>&1; rm -rf "$WORK" "$PG_DIR"' EXIT
    fi
    for name in "${selected[@]}"; do
        "case_$name"
    done
}

main "$@"
