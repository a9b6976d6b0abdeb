#!/usr/bin/env bash
# Power-cut figures of the update paths (release build): runs the power-cut tests of TIRN (the update
# from a discovery report) and of the shell's other update paths (by default the sampled cut points;
# with FWUPG_POWER_CUT_EVERY=1 every NVRAM write; the shell's paths include cuts on flash that erases
# sectors before programming, "Erase") and sums up their "power-cut:" lines per update path, board and
# kind of cut:
#   cuts        cut points tried
#   false_ok    runs that reported success although their update was cut (goal 0)
#   invalid     boards whose NVRAM failed the test kit's verifier once the power was back (goal 0
#               for cuts between writes and refused writes; cuts inside a write of a single-copy
#               record may leave that record invalid, and whole-NVRAM programming any record)
#   unrepaired  boards that the next run (one discovery and one update from its report, or the
#               path's lines run again) did not repair and bring to the new versions (goal 0)
# The long form takes a few minutes in a release build; FWUPG_POWER_CUT_JOBS=N runs each program as
# N shards of its tests, all side by side. FWUPG_POWER_CUT_LOG=FILE keeps every "power-cut:" line and
# the programs' output there (the test names and failures beside the lines that show a false success).
#   bench/power_cut_figures.sh [BUILD_BIN_DIR]     (default: build/release/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
jobs=${FWUPG_POWER_CUT_JOBS:-1}
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || { echo "power_cut_figures.sh: FWUPG_POWER_CUT_JOBS must be a count" >&2; exit 1; }
programs=(tirn_power_cut_tests fwupg_power_cut_paths_tests)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
log=${FWUPG_POWER_CUT_LOG:-$work/log}
: >"$log"
for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] || { echo "power_cut_figures.sh: $bin/$p is not built" >&2; exit 1; }
done
declare -A pid
for p in "${programs[@]}"; do
    for ((i = 0; i < jobs; i++)); do
        mkdir -p "$work/root.$p.$i"
        # An absolute program path: the vendor library's binding finds the simulated library beside
        # it. Each shard gets a system root of its own for what it does outside its tests' roots.
        (cd "$bin" && FWUPG_SYSTEM_ROOT=$work/root.$p.$i FWUPG_BIN_DIR=$bin GTEST_TOTAL_SHARDS=$jobs \
            GTEST_SHARD_INDEX=$i "$bin/$p" >"$work/out.$p.$i" 2>&1) &
        pid[$p.$i]=$!
    done
done
for p in "${programs[@]}"; do
    rc=0
    for ((i = 0; i < jobs; i++)); do
        wait "${pid[$p.$i]}" || rc=$?
        cat "$work/out.$p.$i" >>"$log"
    done
    echo "$p exit code: $rc"
done
printf '  %-20s %-16s %-8s %6s %9s %8s %11s\n' path board cut cuts false_ok invalid unrepaired
# Lines without path= come from the update from a discovery report. Only key=value words count.
grep '^power-cut:' "$log" | awk '{
    delete f
    for (i = 2; i <= NF; i++) { j = index($i, "="); if (j > 0) f[substr($i, 1, j - 1)] = substr($i, j + 1) }
    path = ("path" in f) ? f["path"] : "report-update"
    k = path " " f["board"] " " f["cut"]; n[k]++; fok[k] += f["false_success"]; inv[k] += f["invalid"]
    un[k] += 1 - f["repaired"]
    N++; FALSEOK += f["false_success"]; INV += f["invalid"]; UN += 1 - f["repaired"]
  } END {
    for (k in n) { split(k, p, " "); printf "  %-20s %-16s %-8s %6d %9d %8d %11d\n", p[1], p[2], p[3], n[k], fok[k], inv[k], un[k] }
    printf "  %-20s %-16s %-8s %6d %9d %8d %11d\n", "~all", "", "", N, FALSEOK, INV, UN
  }' | sort
exit 0
