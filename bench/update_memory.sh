#!/usr/bin/env bash
# Peak memory of one update from a discovery report on the demo machine (release build), as it is
# and with a 200 MB file in the firmware folder (a valid E4 package padded with zeros, the kind of
# stray or hostile file a folder may hold). The reference, measured in the same run, is what holding
# that file once costs (a program that reads it whole). Goal: the 200 MB file costs no more than a
# few MB beyond the normal run, since every firmware file larger than the largest NVRAM its kind
# can go to is refused from its size before it is read. Nothing is timed.
#   bench/update_memory.sh [BUILD_BIN_DIR]     (default: build/release/bin, as bench.sh builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so peak_rss; do
  [ -e "$bin/$f" ] || { echo "update_memory.sh: $bin/$f is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. bench/demo_machine.sh

# One update on a fresh demo machine; prints the tool's peak resident memory in KiB. Run in a
# subshell: the machine's folder and FWUPG_SYSTEM_ROOT stay its own.
peak_of_update() {
  local big=$1
  make_demo_machine "$bin" "$work/$big"
  if [ "$big" = big ]; then
    cp FW/mbi_e4.bin FW/mbi_e4_padded.bin
    truncate -s 200M FW/mbi_e4_padded.bin
  fi
  "$bin/peak_rss" ./TIRN -u report.xml 2>"$work/rss-$big" >/dev/null || true
  sed -n 's/^peak_rss_kib=\([0-9]*\).*/\1/p' "$work/rss-$big"
}

normal=$(peak_of_update normal)
big=$(peak_of_update big)
truncate -s 200M "$work/reference.bin"
"$bin/peak_rss" --read "$work/reference.bin" 2>"$work/rss-ref" || true
reference=$(sed -n 's/^peak_rss_kib=\([0-9]*\).*/\1/p' "$work/rss-ref")

printf '  %-44s %10s\n' run "peak KiB"
printf '  %-44s %10d\n' "TIRN -u, demo folder" "$normal"
printf '  %-44s %10d\n' "TIRN -u, demo folder + 200 MB package" "$big"
printf '  %-44s %10d\n' "reference: one 200 MB file held once" "$reference"
awk -v n="$normal" -v b="$big" -v r="$reference" 'BEGIN {
  printf "  extra for the 200 MB file: %d KiB (%.2f of the reference; goal: a few MB at most)\n", b - n, (b - n) / r }'
