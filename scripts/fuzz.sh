#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one in turn, from its
# seed corpus in fuzz/corpus/<target>/ (the corpus that grows is kept in
# $BUILD_DIR/corpus/<target>/).
#
#   scripts/fuzz.sh [SECONDS]            every target for SECONDS (default 60)
#   scripts/fuzz.sh --runs N [TARGET...] every target (or the named ones) for N inputs
#   scripts/fuzz.sh --runs N --max-time S [TARGET...]   N inputs, at most S seconds each
#   scripts/fuzz.sh [SECONDS] TARGET...  only the named targets
#
# A summary line per target gives the executions, the wall time and the
# executions per second; the script fails when a target reports a finding
# (its input is left in $BUILD_DIR/findings/<target>/).
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
if [[ ${1:-} == --runs ]]; then
  limit=(-runs="${2:?--runs needs a number}")
  shift 2
  # --max-time S: stop a target after S seconds even when its runs are not done.
  if [[ ${1:-} == --max-time ]]; then
    limit+=(-max_total_time="${2:?--max-time needs seconds}")
    shift 2
  fi
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
  limit=(-max_total_time="$1")
  shift
fi

BUILD_DIR=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHALCYON_BUILD_FUZZ=ON -DHALCYON_BUILD_TESTS=OFF -DHALCYON_BUILD_BENCH=OFF >/dev/null
all=()
for src in fuzz/*_fuzz.cpp; do all+=("$(basename "$src" .cpp)"); done
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${all[@]}" >/dev/null

targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")

failed=0
for name in "${targets[@]}"; do
  target="$BUILD_DIR/fuzz/$name"
  [[ -x $target ]] || { echo "no fuzz target $name" >&2; exit 2; }
  corpus="$BUILD_DIR/corpus/$name"
  findings="$BUILD_DIR/findings/$name"
  mkdir -p "$corpus" "$findings"
  seeds=()
  [[ -d fuzz/corpus/$name ]] && seeds=("fuzz/corpus/$name")
  log="$BUILD_DIR/findings/$name.log"
  start=$(date +%s.%N)
  status=0
  /usr/bin/time -f "%U %S" -o "$log.cpu" "$target" "${limit[@]}" -rss_limit_mb=2048 -timeout=60 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  end=$(date +%s.%N)
  cpu=$(awk 'END { print $1 + $2 }' "$log.cpu")
  # A target that died leaves its scratch folder; clear it.
  rm -rf /dev/shm/"$name"-* /tmp/"$name"-* 2>/dev/null || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  runs=${runs:-0}
  # exec/s over the wall time, and over the CPU time the target was given
  # (what it does on a core of its own).
  awk -v n="$name" -v r="$runs" -v s="$start" -v e="$end" -v c="$cpu" -v st="$status" 'BEGIN {
    w = e - s; printf "%-24s %10d runs %8.1f s wall %8.0f exec/s %8.1f s cpu %8.0f exec/cpu-s  %s\n", n, r, w,
      (w > 0 ? r / w : 0), c, (c > 0 ? r / c : 0), (st == 0 ? "no finding" : "FINDING (exit " st ")") }'
  if [[ $status -ne 0 ]]; then
    failed=1
    tail -n 30 "$log" >&2
  fi
done
exit $failed
