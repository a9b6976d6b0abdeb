#!/usr/bin/env bash
# Builds the optimised preset and runs every benchmark program (each measures a reference in the
# same run and prints the ratio).
set -euo pipefail
cd "$(dirname "$0")"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
shopt -s nullglob
for b in build/release/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
echo "== update traffic (bench/update_traffic.sh)"
bench/update_traffic.sh build/release/bin
echo "== update memory (bench/update_memory.sh)"
bench/update_memory.sh build/release/bin
echo "== flushes to the disk (bench/sync_cost.sh)"
bench/sync_cost.sh build/release/bin
echo "== power-cut figures (bench/power_cut_figures.sh)"
bench/power_cut_figures.sh build/release/bin
