#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time, from its seed corpus in fuzz/corpus/,
# as many at once as there are cores, and prints the executions of each. Fails when a target
# finds a fault.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
root=$(cd "$(dirname "$0")/.." && pwd)

run_one() {
  local bin=$1 name seeds work artifacts log start result runs
  name=$(basename "$bin")
  seeds="$root/fuzz/corpus/${name%_fuzz}"
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name/"
  log="$build/$name.log"
  mkdir -p "$work" "$artifacts"
  start=$(date +%s)
  result=ok
  "$bin" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "$seeds" >"$log" 2>&1 ||
    result=FAILED
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  printf '%s %s %s %s\n' "$name" "$result" "${runs:-0}" "$(($(date +%s) - start))" \
    >"$build/$name.result"
}

targets=("$build"/fuzz/*_fuzz)
for bin in "${targets[@]}"; do
  rm -f "$build/$(basename "$bin").result"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$bin" &
done
wait

status=0
total=0
for bin in "${targets[@]}"; do
  name=$(basename "$bin")
  read -r _ result runs secs <"$build/$name.result" || { result=FAILED runs=0 secs=?; }
  if [ "$result" != ok ]; then
    status=1
    tail -n 40 "$build/$name.log"
  fi
  total=$((total + runs))
  printf '%-24s %-6s %12s executions in %ss\n' "$name" "$result" "$runs" "$secs"
done
printf '%-24s %-6s %12s executions\n' "all targets" "" "$total"
exit $status
