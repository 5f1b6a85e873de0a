#!/usr/bin/env bash
# Installs the build into a temporary prefix, as `cmake --install` does for a package, and runs
# the installed programs there with HOME in a temporary folder: the user's data folder is seeded
# from the installed data files (by the command-line tool and by the window on first start), a
# file of the user's is never replaced, and the tool loads and counts the sample data set.
# Usage: install-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/brindlemark bin/brindlemark-cli share/brindlemark/Defs/DIF104V2.ini \
         share/brindlemark/Defs/DIFVersion.ini share/brindlemark/FileCheck.SQL \
         share/applications/brindlemark.desktop share/icons/hicolor/256x256/apps/brindlemark.png; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ ! -e "$prefix/bin/Defs" ] || fail "layouts beside the executables"
[ -z "$(find "$prefix" -name 'Tembra.db*')" ] || fail "a herd database was installed"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/brindlemark.desktop"
fi

unset XDG_DATA_HOME XDG_CONFIG_HOME
export QT_QPA_PLATFORM=offscreen
cli=$prefix/bin/brindlemark-cli

# The command-line tool: init makes the user's folder from the installed data files.
export HOME=$tmp/home1
data=$HOME/.local/share/Corvelle/Brindlemark
out=$("$cli" init)
[ "$out" = "Created $data/Tembra.db" ] || fail "init said: $out"
cmp "$data/Defs/DIF104V2.ini" "$source/data/Defs/DIF104V2.ini" || fail "layout not copied"
cmp "$data/FileCheck.SQL" "$source/data/FileCheck.SQL" || fail "file-check script not copied"
"$cli" --quiet load "$source/samples/herd.zip" >/dev/null
stats=$("$cli" stats | tr '\n' ' ')
expected="101 2 102 12 103 21 104 190 105 27 106 1 107 111 108 51 112 21 114 6 202 10 211 10 "
[ "$stats" = "$expected" ] || fail "stats: $stats"
# The user's own files stay as they are; a layout the user removed comes back.
echo "/ my own checks" >"$data/FileCheck.SQL"
rm "$data/Defs/DIF211V1.ini"
"$cli" stats >/dev/null
[ "$(cat "$data/FileCheck.SQL")" = "/ my own checks" ] || fail "the user's script was replaced"
[ -f "$data/Defs/DIF211V1.ini" ] || fail "a missing layout was not seeded again"
[ "$("$cli" stats | head -1)" = "101 2" ] || fail "the data did not stay"
# --home still names the folder, and gets the installed data files on init.
"$cli" --home "$tmp/elsewhere" init --quiet
[ -f "$tmp/elsewhere/Defs/DIF104V2.ini" ] && [ -f "$tmp/elsewhere/Tembra.db" ] ||
  fail "init --home did not seed the folder"

# Any command seeds a fresh user's folder first.
export HOME=$tmp/home2
data=$HOME/.local/share/Corvelle/Brindlemark
[ "$("$cli" stats | head -1)" = "101 0" ] || fail "stats on a fresh folder"

# The window seeds a fresh user's folder on first start.
export HOME=$tmp/home3
data=$HOME/.local/share/Corvelle/Brindlemark
"$prefix/bin/brindlemark" >/dev/null 2>&1 &
gui=$!
for _ in $(seq 100); do
  [ -f "$data/Tembra.db" ] && break
  sleep 0.2
done
kill "$gui" 2>/dev/null || true
wait "$gui" 2>/dev/null || true
[ -f "$data/Tembra.db" ] || fail "the window made no herd database in $data"
cmp "$data/Defs/DIF104V2.ini" "$source/data/Defs/DIF104V2.ini" || fail "window: layout not copied"
echo "install test passed"
