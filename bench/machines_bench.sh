#!/usr/bin/env bash
# Many machines from one share: N emulated machines run `halcyon factory-run
# --media` at the same time on one read-only sample share, for each N given
# (default 1 4 16). Prints, per N, the wall time until the last machine is
# done, the slowest and the mean machine, machines per minute, and the CPU
# time all runs took; fails when a machine does not finish with 0 or the
# share's checksums change.
#
#   bench/machines_bench.sh [N ...]
#   HALCYON=path/to/halcyon WORK=/dev/shm/x bench/machines_bench.sh 1 4 16
set -euo pipefail
cd "$(dirname "$0")/.."
HALCYON=$(realpath "${HALCYON:-build/bin/halcyon}")
WORK=${WORK:-$(mktemp -d /tmp/machines-bench-XXXXXX)}
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(1 4 16)

cleanup() { chmod -R u+w "$WORK" 2>/dev/null || true; rm -rf "$WORK"; }
trap cleanup EXIT

share="$WORK/share"
blid=$("$HALCYON" sample-media "$share" | sed -n 's/^ *machine BLID //p')
chmod -R a-w "$share"
sums() { (cd "$share" && find . -type f -print0 | sort -z | xargs -0 sha256sum) | sha256sum; }
before=$(sums)

printf '%-9s %10s %10s %10s %14s %12s\n' machines "wall s" "slowest s" "mean s" "machines/min" "cpu s"
for n in "${counts[@]}"; do
  round="$WORK/round-$n"
  mkdir -p "$round"
  pids=()
  start=$(date +%s.%N)
  for ((i = 0; i < n; i++)); do
    m="$round/m$i"
    mkdir -p "$m/run" "$m/machine"
    printf '[Identity]\r\nBLID=%s\r\nRMIDOnOEMString1=False\r\n' "$blid" >"$m/machine/machine.ini"
    (
      cd "$m/run"
      s=$(date +%s.%N)
      rc=0
      "$HALCYON" factory-run --media "$share" --machine "$m/machine" --target "$m/target" --json \
        >"$m/run.out" 2>&1 || rc=$?
      e=$(date +%s.%N)
      awk -v r="$rc" -v s="$s" -v e="$e" 'BEGIN { printf "%d %.3f\n", r, e - s }' >"$m/result"
    ) &
    pids+=($!)
  done
  # CPU time of the children, from this shell's accounting.
  cpu0=$(awk '{print $16 + $17}' /proc/$$/stat)
  for p in "${pids[@]}"; do wait "$p"; done
  end=$(date +%s.%N)
  cpu1=$(awk '{print $16 + $17}' /proc/$$/stat)
  ticks=$(getconf CLK_TCK)
  bad=0
  for ((i = 0; i < n; i++)); do
    read -r rc secs <"$round/m$i/result"
    [[ $rc == 0 ]] || { bad=1; echo "machine $i of $n failed ($rc):" >&2; tail -n 20 "$round/m$i/run.out" >&2; }
    echo "$secs"
  done >"$round/times"
  awk -v n="$n" -v s="$start" -v e="$end" -v c0="$cpu0" -v c1="$cpu1" -v t="$ticks" '
    { sum += $1; if ($1 > max) max = $1 }
    END { w = e - s; printf "%-9d %10.2f %10.2f %10.2f %14.1f %12.2f\n", n, w, max, sum / n, n * 60 / w, (c1 - c0) / t }
  ' "$round/times"
  chmod -R u+w "$round"
  rm -rf "$round"
  [[ $bad == 0 ]] || exit 1
done

if [[ $(sums) != "$before" ]]; then
  echo "the share changed" >&2
  exit 1
fi
echo "share unchanged (sha256 of every file)"
