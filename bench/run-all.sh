#!/usr/bin/env bash
# Every benchmark figure in docs/bench-*.md, from one run: prints the
# machine, the date, the commit and the load, then one section per
# benchmark, each with its anchor (the floor it is measured against) beside
# its figures. Figures in the docs are copied from this output.
#
#   bench/run-all.sh                 # every section
#   bench/run-all.sh plan idf        # only these sections
#   BUILD=build-rel bench/run-all.sh # another build folder (default build)
#
# Sections: plan idf crc exec copy load-img modules registry machines.
# Each section builds the targets it needs (-j2) and runs its benchmark with
# the command line its page shows; a section whose program is missing says
# so and the run goes on. Processor seconds (user + system, from wait4 or
# getrusage) are the steady figures on a shared machine; wall times there
# depend on the other load.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
BUILD=${BUILD:-build}
RUSAGE="python3 bench/rusage.py"
all=(plan idf crc exec copy load-img modules registry machines)
sections=("$@")
[[ ${#sections[@]} -gt 0 ]] || sections=("${all[@]}")

build() { cmake --build "$BUILD" --target "$@" -j2 >/dev/null || { echo "  (build of $* failed)"; return 1; }; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "# Benchmarks"
echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "commit:  $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . 2>/dev/null || echo ' (with changes)')"
echo "machine: $(uname -srm), $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)," \
  "$(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo "build:   $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt"), $(g++ --version | head -1)"

# Plan building: one cold `halcyon make-ini` process on a generated IDF of
# 50,000 modules against Python's ElementTree parse of the same file (the
# floor: reading the XML at all), then warm in-process figures per size.
section_plan() {
  build halcyon make_ini_bench || return
  local work idf bom
  work=$(mktemp -d /tmp/bench-plan-XXXXXX)
  idf=$work/idf.xml bom=$work/bom.txt
  mkdir -p "$work/machine"
  "$BUILD/bench/make_ini_bench" --write 50000 "$idf" "$bom" || { echo "  cannot write the IDF"; return; }
  local mb
  mb=$(awk -v b="$(stat -c %s "$idf")" 'BEGIN { printf "%.1f", b / 1048576 }')
  printf 'import sys, xml.etree.ElementTree as ET\nET.parse(sys.argv[1])\n' >"$work/parse.py"
  cat "$idf" >/dev/null # in the page cache for both
  echo "anchor: python3 xml.etree.ElementTree.parse of the same IDF (one process)"
  echo "IDF: 50,000 modules, $mb MiB; one process each, run alternately three times"
  printf '%-28s %8s %8s %10s %10s\n' run "cpu s" "wall s" "peak MiB" "peak/IDF"
  local i cmd et ccpu crss ecpu erss cpuRatios=() peakRatios=()
  for i in 1 2 3; do
    cmd=$(HALCYON_MACHINE=$work/machine $RUSAGE "$BUILD/bin/halcyon" make-ini --idf "$idf" --bom "$bom" \
      --plan "$work/plan.ini")
    et=$($RUSAGE python3 "$work/parse.py" "$idf")
    [[ $(field rc "$cmd") == 0 ]] || echo "  make-ini failed: $cmd"
    ccpu=$(field cpu "$cmd") crss=$(field maxrss_mb "$cmd") ecpu=$(field cpu "$et") erss=$(field maxrss_mb "$et")
    printf '%-28s %8s %8s %10s %10s\n' "halcyon make-ini ($i)" "$ccpu" "$(field wall "$cmd")" "$crss" \
      "$(ratio "$crss" "$mb")"
    printf '%-28s %8s %8s %10s %10s\n' "ElementTree parse ($i)" "$ecpu" "$(field wall "$et")" "$erss" \
      "$(ratio "$erss" "$mb")"
    echo "  ratio make-ini / parse: cpu $(ratio "$ccpu" "$ecpu"), peak memory $(ratio "$crss" "$erss")"
    cpuRatios+=("$(ratio "$ccpu" "$ecpu")") peakRatios+=("$(ratio "$crss" "$mb")")
  done
  echo "median: make-ini cpu / parse cpu $(printf '%s\n' "${cpuRatios[@]}" | sort -n | sed -n 2p)," \
    "make-ini peak / IDF size $(printf '%s\n' "${peakRatios[@]}" | sort -n | sed -n 2p)"
  echo "plan: $(awk -v b="$(stat -c %s "$work/plan.ini")" 'BEGIN { printf "%.1f", b / 1048576 }') MiB"
  echo
  echo "warm, in process (make_ini_bench: three builds per child process, cache cleared before each):"
  "$BUILD/bench/make_ini_bench" 1000 10000 50000
  rm -rf "$work"
}

section_idf() {
  build idf_bench || return
  echo "anchor: the first query of a builder run (the parse) against cached queries"
  "$BUILD/bench/idf_bench" 1000 10000 20000
}

section_crc() {
  build crc_bench || return
  echo "anchor: a plain read() loop in 256 KiB pieces, cat > /dev/null and rhash --crc32 on the same files"
  "$BUILD/bench/crc_bench"
}

section_exec() {
  build exec_bench || return
  echo "anchor: posix_spawn + waitpid of /bin/true"
  "$BUILD/bench/exec_bench"
}

section_copy() {
  build copy_bench || return
  echo "anchor: cp -r + sync and cat + sync of the same data; wimlib-imagex info --check"
  "$BUILD/bench/copy_bench" --mb 256 --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true
}

section_load-img() {
  build load_img_bench || return
  echo "anchor: wimlib-imagex apply of the same image"
  "$BUILD/bench/load_img_bench" --size-mb 220 --rounds 7
}

section_modules() {
  build mod_setup_bench || return
  echo "anchor: none (per-module cost of the installation loop)"
  "$BUILD/bench/mod_setup_bench" 200 3 | grep '^|' # the table; the verb's console lines left out
}

section_registry() {
  build registry_bench || return
  echo "anchor: a plain SQLite scan of the same rows"
  "$BUILD/bench/registry_bench" --benchmark_report_aggregates_only=true
}

section_machines() {
  build halcyon || return
  echo "anchor: one machine alone (N = 1)"
  HALCYON="$BUILD/bin/halcyon" bench/machines_bench.sh 1 4 16
}

for s in "${sections[@]}"; do
  echo
  echo "## $s"
  if declare -F "section_$s" >/dev/null; then
    "section_$s"
  else
    echo "  unknown section (known: ${all[*]})"
  fi
done
