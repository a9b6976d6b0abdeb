#!/usr/bin/env bash
# Traffic of one update from a discovery report on the demo machine (release build): how often the
# tool opens each file of the firmware folder during the update call, and per adapter the NVRAM bytes
# written and read next to the bytes the update changed and the NVRAM size:
#   written/changed  (goal about 1: each changed byte written once; bytes an image rewrites with
#                     their old value do not count as changed, so even a perfect update is above 1)
#   read/(size+changed)  (goal about 1: the backup reads the NVRAM once, the check reads what changed)
# Counts come from the simulated management library's journal and from an open() counter
# preloaded into the tool; nothing is timed.
#   bench/update_traffic.sh [BUILD_BIN_DIR]     (default: build/release/bin, as bench.sh builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/release/bin}" && pwd)
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so open_count.so; do
  [ -e "$bin/$f" ] || { echo "update_traffic.sh: $bin/$f is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root tool=$work/tool
mkdir -p "$root" "$tool"
cp "$bin/TIRN" "$bin/LibALDN_ZkFwUpg.so" "$bin/YXMAPIa.so" "$tool/"
"$bin/fwgen" demo "$root" "$tool/FW" --legacy >/dev/null
export FWUPG_SYSTEM_ROOT=$root
cd "$tool"
./TIRN -d report.xml >/dev/null || true
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

echo
printf '  %-20s %10s %10s %10s %10s %16s %20s\n' board size changed written read written/changed "read/(size+changed)"
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
  read -r written rd < <(tail -n +"$((start + 1))" "$journal" | awk -v hs="$handles" '
    function hex(t,   i, v) { v = 0; for (i = 1; i <= length(t); i++) v = v * 16 + index("0123456789ABCDEF", substr(t, i, 1)) - 1; return v }
    BEGIN { n = split(hs, l, " "); for (i = 1; i <= n; i++) mine["handle=" l[i]] = 1 }
    ($3 in mine) && $2 == "ord=67" { split($5, c, "="); w += 4 * hex(c[2]) }
    ($3 in mine) && $2 == "ord=68" { split($5, c, "="); r += 4 * hex(c[2]) }
    END { printf "%d %d\n", w, r }')
  awk -v n="$board" -v s="$size" -v c="$changed" -v w="$written" -v r="$rd" 'BEGIN {
    wc = c ? sprintf("%.2f", w / c) : "-"
    printf "  %-20s %10d %10d %10d %10d %16s %20.2f\n", n, s, c, w, r, wc, r / (s + c) }'
done
