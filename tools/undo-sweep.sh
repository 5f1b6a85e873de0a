#!/usr/bin/env bash
# The slow sweeps of undo, not part of ./test.sh:
#  1. kills the command-line program at every step of keeping a state (in a herd-code change, a
#     file check and a load) and of putting one back (in an undo), and checks that the data is
#     in one of the two states it may be in, that the next command finishes or rolls back what
#     was cut short (no pending copy left), and that undo and redo then go on from there;
#  2. runs a herd-code change, a load and an undo on a nearly full disk (a small tmpfs, so it
#     needs root) at many levels of free space, and checks that each either did its work or
#     changed nothing, said why, and left no pending copy behind.
# Prints one line per case that goes wrong and a summary; exits 1 when any went wrong.
#
#   tools/undo-sweep.sh [BUILD_DIR]      (default: build)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli="$PWD/$build/brindlemark-cli"
samples="$PWD/samples"
[[ -x $cli ]] || { echo "no $cli: build first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/undo-sweep.XXXXXX")
mnt="$work/disk"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
cases=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { local h=$1; shift; "$cli" --home "$h" "$@"; }
state() {
  { run "$1" stats; for t in 101 103 104; do run "$1" list $t; done; } 2>&1 | md5sum | cut -c1-12
}
leftovers() { (cd "$1" && ls -1 Undo.db.* *.part 2>/dev/null); }

# A program folder with the sample data set loaded, at $1.
fresh() {
  rm -rf "$1"
  run "$1" --quiet init >/dev/null || return 1
  printf 'UPDATE [104] SET Milk = Milk + 1\nUPDATE [103] SET LactationNumber = 1\n' \
    >"$1/FileCheck.SQL"
  run "$1" --quiet load "$samples/herd.DIF" >/dev/null 2>&1
}

declare -A command=(
  [herdcode]="--yes --quiet herdcode NEWHC"
  [check]="check"
  [load]="--quiet load $samples/herd.zip"
)
declare -A caption=([herdcode]="Change Herdcode" [check]="File Check" [load]="Load Files")
keep_steps="keep:copied keep:noted keep:committed keep:ini-removed keep:renamed keep:ini-written"
undo_steps="undo:copied undo:noted undo:restored undo:stamped undo:ini-removed undo:renamed
            undo:ini-written"
early() { [[ $1 == *:copied || $1 == *:noted ]]; }

# --- 1. A kill at every step ------------------------------------------------------------------
for name in herdcode check load; do
  # The load of herd.zip over herd.DIF changes no table: load a smaller set for it.
  for step in $keep_steps; do
    cases=$((cases + 1))
    h="$work/k"
    fresh "$h" || { fail "set-up"; continue; }
    [[ $name == load ]] && run "$h" --yes --quiet trim remove 104 Milk gt 20 >/dev/null 2>&1
    before=$(state "$h")
    previous=$(run "$h" undo 2>&1 | head -1)
    BRINDLEMARK_KILL_AT=$step run "$h" ${command[$name]} >/dev/null 2>&1
    rc=$?
    [[ $rc == 137 ]] || { fail "$name $step: not killed (exit $rc)"; continue; }
    now=$(state "$h")
    if early "$step"; then
      [[ $now == "$before" ]] || fail "$name $step: the data changed before the command ran"
      want="Undone: "; [[ $name == load ]] && want="Undone: Remove Displayed Data"
    else
      [[ $now != "$before" ]] || fail "$name $step: the command's change is missing"
      want="Undone: ${caption[$name]}"
    fi
    out=$(run "$h" --yes undo 2>/dev/null)
    [[ $out == "$want"* ]] || fail "$name $step: next undo said '$out' (before: $previous)"
    [[ -z $(leftovers "$h") ]] || fail "$name $step: left $(leftovers "$h" | tr '\n' ' ')"
    early "$step" || [[ $(state "$h") == "$before" ]] || fail "$name $step: undo did not put back"
    out=$(run "$h" --yes undo 2>/dev/null)
    [[ $(state "$h") == "$now" ]] || fail "$name $step: redo did not come back ('$out')"
  done
  for step in $undo_steps; do
    cases=$((cases + 1))
    h="$work/u"
    fresh "$h" || { fail "set-up"; continue; }
    [[ $name == load ]] && run "$h" --yes --quiet trim remove 104 Milk gt 20 >/dev/null 2>&1
    before=$(state "$h")
    run "$h" ${command[$name]} >/dev/null 2>&1
    after=$(state "$h")
    BRINDLEMARK_KILL_AT=$step run "$h" --yes undo >/dev/null 2>&1
    rc=$?
    [[ $rc == 137 ]] || { fail "$name $step: not killed (exit $rc)"; continue; }
    now=$(state "$h")
    if early "$step"; then
      [[ $now == "$after" ]] || fail "$name $step: the data changed before the undo ran"
      want="Undone: ${caption[$name]}"; back=$before
    else
      [[ $now == "$before" ]] || fail "$name $step: the undo's data is missing"
      want="Redone: ${caption[$name]}"; back=$after
    fi
    out=$(run "$h" --yes undo 2>/dev/null)
    [[ $out == "$want" ]] || fail "$name $step: next undo said '$out', not '$want'"
    [[ $(state "$h") == "$back" ]] || fail "$name $step: the next undo put back the wrong data"
    [[ -z $(leftovers "$h") ]] || fail "$name $step: left $(leftovers "$h" | tr '\n' ' ')"
  done
done

# A load of a large combined file killed at many moments: the next command that holds the lock
# leaves the data as it was, and nothing of the load behind.
h="$work/big"
fresh "$h"
for i in $(seq 400); do cat "$samples/herd.DIF"; done >"$work/big.DIF"
before=$(state "$h")
for delay in 0.05 0.1 0.2 0.3 0.5 0.7 1.0 1.5 2.0 3.0; do
  cases=$((cases + 1))
  "$cli" --home "$h" --quiet load "$work/big.DIF" >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  kill -9 $pid 2>/dev/null
  wait $pid 2>/dev/null
  run "$h" undo >/dev/null 2>&1
  now=$(state "$h")
  if [[ $now != "$before" ]]; then
    # The load finished before the kill: undo it for the next round.
    out=$(run "$h" --yes undo 2>/dev/null)
    [[ $out == "Undone: Load Files" && $(state "$h") == "$before" ]] \
      || fail "load killed after ${delay}s: neither as before nor loaded ('$out')"
  fi
  [[ -z $(leftovers "$h") ]] || fail "load killed after ${delay}s: left $(leftovers "$h" | tr '\n' ' ')"
  [[ -z $(ls -A "$h/Scratch" 2>/dev/null) ]] || fail "load killed after ${delay}s: scratch files left"
done
echo "kills: $cases cases, $failures failed"

# --- 2. A nearly full disk --------------------------------------------------------------------
if [[ $(id -u) != 0 ]]; then
  echo "full disk: skipped, mounting a tmpfs needs root" >&2
  exit $((failures > 0))
fi
mkdir -p "$mnt"
mount -t tmpfs -o size=3m tmpfs "$mnt" || { echo "cannot mount a tmpfs" >&2; exit 1; }
disk_cases=0
disk_failures_before=$failures
outcomes=()
for free_kb in $(seq 0 8 520); do
  for name in herdcode load undo; do
    disk_cases=$((disk_cases + 1))
    h="$mnt/h"
    rm -rf "$mnt"/*
    fresh "$h" || { fail "disk set-up at $free_kb KB"; continue; }
    [[ $name == load ]] && run "$h" --yes --quiet trim remove 104 Milk gt 20 >/dev/null 2>&1
    [[ $name == undo ]] && run "$h" --yes --quiet herdcode NEWHC >/dev/null 2>&1
    before=$(state "$h")
    avail=$(df -k --output=avail "$mnt" | tail -1)
    fill=$((avail - free_kb))
    ((fill > 0)) && { dd if=/dev/zero of="$mnt/filler" bs=1k count=$fill 2>/dev/null; sync; }
    case $name in
      herdcode) out=$(run "$h" --yes herdcode NEWHX 2>&1) ;;
      load) out=$(run "$h" --quiet load "$samples/herd.zip" 2>&1) ;;
      undo) out=$(run "$h" --yes undo 2>&1) ;;
    esac
    rc=$?
    rm -f "$mnt/filler"
    now=$(state "$h")
    if ((rc == 0)); then
      [[ $now != "$before" ]] || fail "$name at $free_kb KB: succeeded but nothing changed"
      [[ $out == *"could not be kept"* ]] && outcomes+=("$name:done-no-undo") || outcomes+=("$name:done")
    elif ((rc == 1)); then
      [[ $now == "$before" ]] || fail "$name at $free_kb KB: failed ('$out') but changed the data"
      [[ -n $out ]] || fail "$name at $free_kb KB: failed without a message"
      outcomes+=("$name:refused")
    else
      fail "$name at $free_kb KB: exit $rc ('$out')"
    fi
    run "$h" undo >/dev/null 2>&1 # holds the lock: finishes or removes what is pending
    [[ -z $(leftovers "$h") ]] || fail "$name at $free_kb KB: left $(leftovers "$h" | tr '\n' ' ')"
  done
done
printf '%s\n' "${outcomes[@]}" | sort | uniq -c | sed 's/^/  /'
echo "full disk: $disk_cases cases, $((failures - disk_failures_before)) failed"
exit $((failures > 0))
