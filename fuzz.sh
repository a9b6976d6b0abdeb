#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each one for a while on a copy of its seed corpus.
#   ./fuzz.sh [SECONDS_PER_TARGET] [PARALLEL] [TARGET...]     (defaults: 600 s, 2 at a time, all)
# Prints per target the executions and the findings; a finding is kept under build/fuzz/findings/
# and makes the script exit 1. The seed corpora in the source tree are not changed (the test run
# replays them); copy a finding there once it is fixed.
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-600}
parallel=${2:-2}
shift $(( $# > 2 ? 2 : $# ))
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
# Absolute paths: a target may change its working folder (the package target extracts there).
out=$PWD/build/fuzz/campaign
findings_dir=$PWD/build/fuzz/findings
rm -rf "$out"
mkdir -p "$out" build/fuzz/findings

run_one() {
  local name=$1 corpus=$2 dir=$out/$1
  mkdir -p "$dir/corpus"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$dir/corpus/"
  build/fuzz/bin/"$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$findings_dir/$name-" "$dir/corpus" >"$dir/log" 2>&1 || true
  local execs findings
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo 0)
  findings=$(find build/fuzz/findings -name "$name-*" | wc -l)
  printf '%-24s %12s executions  %s findings\n' "$name" "${execs:-0}" "$findings"
}

targets=()
while read -r name corpus; do
  [ -z "$name" ] && continue
  if (($#)); then
    [[ " $* " == *" $name "* ]] || continue
  fi
  targets+=("$name $corpus")
done < build/fuzz/fuzz_targets.txt

for t in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n; done
  run_one $t &
done
wait
if compgen -G "build/fuzz/findings/*" >/dev/null; then
  echo "findings in build/fuzz/findings/"
  exit 1
fi
