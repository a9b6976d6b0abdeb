#!/usr/bin/env bash
# Power-cut figures of the update paths (release build): runs the power-cut tests of TIRN (by default
# the sampled cut points; with FWUPG_POWER_CUT_EVERY=1 every NVRAM write of every board) and sums up
# their "power-cut:" lines per board and kind of cut:
#   cuts        cut points tried
#   false_ok    runs that reported success although their update was cut (goal 0)
#   invalid     boards whose NVRAM failed the test kit's verifier once the power was back (goal 0
#               for cuts between writes and refused writes; cuts inside a write of a single-copy
#               record may leave that record invalid)
#   unrepaired  boards the next update from a fresh discovery did not repair (goal 0)
#   bench/power_cut_figures.sh [BUILD_BIN_DIR]     (default: build/release/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
[ -x "$bin/tirn_power_cut_tests" ] || { echo "power_cut_figures.sh: $bin/tirn_power_cut_tests is not built" >&2; exit 1; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
set +e
(cd "$bin" && FWUPG_BIN_DIR=$bin ./tirn_power_cut_tests >"$log" 2>&1)
rc=$?
set -e
printf '  %-16s %-8s %6s %9s %8s %11s\n' board cut cuts false_ok invalid unrepaired
grep '^power-cut:' "$log" | awk '{
    for (i = 2; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
    k = f["board"] " " f["cut"]; n[k]++; fs[k] += f["false_success"]; inv[k] += f["invalid"]; un[k] += 1 - f["repaired"]
    N++; FALSEOK += f["false_success"]; INV += f["invalid"]; UN += 1 - f["repaired"]
  } END {
    for (k in n) { split(k, p, " "); printf "  %-16s %-8s %6d %9d %8d %11d\n", p[1], p[2], n[k], fs[k], inv[k], un[k] }
    printf "  %-16s %-8s %6d %9d %8d %11d\n", "all", "", N, FALSEOK, INV, UN
  }' | sort
echo "tirn_power_cut_tests exit code: $rc"
