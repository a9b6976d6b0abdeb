#!/usr/bin/env bash
# What flushing to the disk costs one update from a discovery report on the demo machine (release
# build): the flushes the tool makes (fsync and kin, counted by a preloaded counter) and the update's
# time, against the same build with the flushes turned off by that counter, measured in the same
# run, each update on a fresh copy of the machine. Only backups, fingerprints, a user's dump and
# the folder entries that name them are flushed.
#   bench/sync_cost.sh [BUILD_BIN_DIR] [ROUNDS]     (defaults: build/release/bin, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
rounds=${2:-3}
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so sync_count.so; do
  [ -e "$bin/$f" ] || { echo "sync_cost.sh: $bin/$f is not built" >&2; exit 1; }
done

work=$(mktemp -d "${SYNC_COST_DIR:-$PWD/build}/sync_cost.XXXXXX")  # on the disk the build uses, not tmpfs
trap 'rm -rf "$work"' EXIT
. bench/demo_machine.sh
make_demo_machine "$bin" "$work" --legacy
cp -a "$root" "$work/pristine"

# One update on a fresh machine; prints its wall time in milliseconds.
update() {
  rm -rf "$root"
  cp -a "$work/pristine" "$root"
  cp report.xml run.xml
  local t0 t1
  t0=$(date +%s%N)
  env "$@" LD_PRELOAD="$bin/sync_count.so" ./TIRN -u run.xml >/dev/null || true
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

on=() offs=()
for ((i = 0; i < rounds; i++)); do
  rm -f "$work/syncs"
  on+=("$(update SYNC_COUNT_LOG="$work/syncs")")
  offs+=("$(update SYNC_OFF=1)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
m_on=$(median "${on[@]}") m_off=$(median "${offs[@]}")
echo "flushes per update: $(sort "$work/syncs" | uniq -c | awk '{printf "%s%d %s", sep, $1, $2; sep = ", "}')"
echo "update time, syncs on: ${on[*]} ms (median $m_on); syncs off: ${offs[*]} ms (median $m_off)"
awk -v a="$m_on" -v b="$m_off" 'BEGIN { printf "ratio on/off: %.2f\n", a / b }'
