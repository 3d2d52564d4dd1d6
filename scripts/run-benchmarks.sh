#!/usr/bin/env bash
# Runs every benchmark built in the folder $1; each prints its own figures next
# to its anchor's, measured in the same run.
set -euo pipefail
dir=${1:-build-bench}
found=0
for b in "$dir"/bench/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ "$found" = 1 ] || echo "No benchmarks built yet."
