#!/usr/bin/env bash
# Traffic of one update from a discovery report on the demo machine (release build): how often the
# tool opens each file of the firmware folder during the update call, and per board the NVRAM bytes
# written and read next to the bytes of the images the update wrote and the NVRAM size:
#   written/images       (goal <= 1.01: each image written once, little besides its directory
#                         entry and records)
#   read/(size+images)   (goal <= 1.1: the backup reads the NVRAM once, each written byte is read
#                         back once)
# "images" sums the lengths of the images listed after the update whose bytes differ from what the
# same NVRAM range held before it (the test kit's listing of the family); "changed" is the count of
# bytes that differ, for comparison. Counts come from the simulated management library's journal
# and from an open() counter preloaded into the tool; nothing is timed.
#   bench/update_traffic.sh [BUILD_BIN_DIR]     (default: build/release/bin, as bench.sh builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so open_count.so; do
  [ -e "$bin/$f" ] || { echo "update_traffic.sh: $bin/$f is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. bench/demo_machine.sh
make_demo_machine "$bin" "$work" --legacy
mkdir -p "$work/before"
cp "$root"/adapters/*.nvram "$work/before/"
journal=$root/yxmapi.journal
start=$(wc -l <"$journal")

set +e
OPEN_COUNT_LOG=$work/opens LD_PRELOAD=$bin/open_count.so ./TIRN -u report.xml >"$work/out"
rc=$?
set -e
echo "TIRN -u report.xml ended with exit code $rc"

echo
echo "Opens of firmware-folder files during the update call:"
grep "/FW/" "$work/opens" | sed "s|.*/FW/|FW/|" | sort | uniq -c | sort -rn | awk '{printf "  %5d  %s\n", $1, $2}'

# Offset and length of every image of an NVRAM, by the test kit's listing of its family (legacy 4,
# E1-E3 5, E4 6); the E4 directory copies are the firmware's, not images.
image_ranges() {
  case $1 in
    4) "$bin/fwgen" list "$2" --legacy | awk '{print $5, $6}' ;;
    5) "$bin/fwgen" list "$2" | awk '{print $5, $6}' ;;
    6) "$bin/fwgen" e4-list "$2" | awk '$1 != "copy" && $1 !~ /^DIR[12]$/ {print $3, $4}' ;;
  esac 2>/dev/null || true
}

# Bytes of the images the update wrote: images whose range holds other bytes than before.
image_bytes() {
  local family=$1 before=$2 after=$3 total=0 off len
  while read -r off len; do
    [ -n "$len" ] || continue
    off=$((off)) len=$((len))
    cmp -s -i "$off:$off" -n "$len" "$before" "$after" || total=$((total + len))
  done < <(image_ranges "$family" "$after")
  echo "$total"
}

echo
printf '  %-12s %8s %8s %8s %8s %9s %15s %19s\n' board size changed images written read written/images "read/(size+images)"
for nv in "$root"/adapters/*.nvram; do
  board=$(basename "$nv" .nvram)
  # The functions of a board share its NVRAM: sum the traffic of every function's handle.
  handles=$(for desc in "$root"/adapters/*.adapter; do
      name=$(basename "$desc" .adapter)
      b=$(sed -n 's/^board=//p' "$desc"); [ -n "$b" ] || b=$name
      if [ "$b" = "$board" ]; then sed -n 's/^api_handle=0x//p' "$desc" | tr 'a-f' 'A-F'; fi
    done | tr '\n' ' ')
  size=$(stat -c %s "$nv")
  changed=$( (cmp -l "$work/before/$board.nvram" "$nv" 2>/dev/null || true) | wc -l)
  family=$(for desc in "$root"/adapters/*.adapter; do
      b=$(sed -n 's/^board=//p' "$desc"); [ -n "$b" ] || b=$(basename "$desc" .adapter)
      if [ "$b" = "$board" ]; then sed -n 's/^family=//p' "$desc"; fi
    done | sed -n 1p)
  images=$(image_bytes "$((family))" "$work/before/$board.nvram" "$nv")
  read -r written rd < <(tail -n +"$((start + 1))" "$journal" | awk -v hs="$handles" '
    function hex(t,   i, v) { v = 0; for (i = 1; i <= length(t); i++) v = v * 16 + index("0123456789ABCDEF", substr(t, i, 1)) - 1; return v }
    BEGIN { n = split(hs, l, " "); for (i = 1; i <= n; i++) mine["handle=" l[i]] = 1 }
    ($3 in mine) && $2 == "ord=67" { split($5, c, "="); w += 4 * hex(c[2]) }
    ($3 in mine) && $2 == "ord=68" { split($5, c, "="); r += 4 * hex(c[2]) }
    END { printf "%d %d\n", w, r }')
  awk -v n="$board" -v s="$size" -v c="$changed" -v i="$images" -v w="$written" -v r="$rd" 'BEGIN {
    wi = i ? sprintf("%.3f", w / i) : "-"
    printf "  %-12s %8d %8d %8d %8d %9d %15s %19.3f\n", n, s, c, i, w, r, wi, r / (s + i) }'
done
