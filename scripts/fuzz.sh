#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time, from its seed corpus in fuzz/corpus/,
# and prints the executions of each. Fails when a target finds a fault.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
total=0
for bin in "$build"/fuzz/*_fuzz; do
  name=$(basename "$bin")
  seeds="$root/fuzz/corpus/${name%_fuzz}"
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  log="$build/$name.log"
  start=$(date +%s)
  if "$bin" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "$seeds" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  total=$((total + ${runs:-0}))
  printf '%-24s %-6s %12s executions in %ss\n' "$name" "$result" "${runs:-?}" \
    "$(($(date +%s) - start))"
done
printf '%-24s %-6s %12s executions\n' "all targets" "" "$total"
exit $status
