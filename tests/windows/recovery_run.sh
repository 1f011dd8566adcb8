#!/bin/sh
# The recovery run of halcyon.exe in a fresh Wine prefix of its own. The
# recovery partition D: is a folder linked into the prefix's dosdevices, as
# the recovery environment's drive X: is (the partitions of a real machine).
#
#   recovery_run.sh HALCYON_EXE PREFIX_ROOT WORK sample
#       the sample run to its end
#   recovery_run.sh HALCYON_EXE PREFIX_ROOT WORK killed STAGE
#       a sample run killed once STAGE is recorded done, then started again
set -eu
exe=$1 root=$2 work=$3 mode=$4
. "$(dirname "$0")/fresh_prefix.sh"

# The first start makes the prefix; then the partition gets its drive.
"$runner" "$exe" help >/dev/null
mkdir -p "$prefix/drive_c/d-drive"
ln -sfn ../drive_c/d-drive "$prefix/dosdevices/d:"

if [ "$mode" = killed ]; then
  journal=$prefix/drive_c/ProgramData/Halcyon/recovery/recovery-run.ini
  "$runner" "$exe" recovery-run --sample >first.txt 2>&1 &
  pid=$!
  # The journal is ANSI or UTF-16: its NULs are dropped before the match.
  until tr -d '\000' <"$journal" 2>/dev/null | grep -qi "^$5=Done"; do
    kill -0 "$pid" 2>/dev/null || { cat first.txt; echo "the run ended before $5 was done"; exit 1; }
    sleep 0.2
  done
  kill -9 "$pid"
  wait "$pid" || true
  if grep -q "Machine recovered" first.txt; then
    echo "the run was not killed before its end"
    exit 1
  fi
  echo "killed after $5"
fi
"$runner" "$exe" recovery-run --sample >last.txt 2>&1 || true
cat last.txt
# Checked here rather than by a pattern in ctest: the output is long, and a
# pattern spanning lines costs ctest's matcher time beyond any timeout.
grep -q "Machine recovered\." last.txt || { echo "FAIL: not recovered"; exit 1; }
grep -q "language: en-US" last.txt || { echo "FAIL: no language"; exit 1; }
if [ "$mode" = killed ]; then
  grep -Eq "$5 +done earlier" last.txt || { echo "FAIL: $5 was not taken as done"; exit 1; }
fi
echo "recovery run: ok"
