#!/usr/bin/env bash
# Builds the optimised preset, makes a simulated machine and a firmware folder, and runs the
# console update tool on them: list the adapters, write a discovery report, update from it and
# list again. Then the same through the plug-in: kestra_host loads Pelaris.so from a component
# folder on a second, fresh machine, reads its properties, and its Install runs the tool to list
# (a discovery report), to update from that report, and to list again.
#
#   ./demo.sh            everything under build/demo (made afresh on each run)
#   ./demo.sh --power-cut  the same, but the first update loses power half way through the E3
#                        board's writes (the process ends there); the board is listed and checked,
#                        then the update runs again and repairs it
set -euo pipefail
power_cut=0
case "${1:-}" in
  "") ;;
  --power-cut) power_cut=1 ;;
  *) echo "usage: $0 [--power-cut]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")"
top=$PWD

# Only what the demo runs is built (./test.sh builds everything).
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target TIRN fwgen LibALDN_ZkFwUpg YXMAPIa Pelaris kestra_host

bin=build/release/bin
missing=()
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so Pelaris.so kestra_host; do
  [ -e "$bin/$f" ] || missing+=("$f")
done
if ((${#missing[@]})); then
  echo "demo.sh: missing from the build: ${missing[*]}" >&2
  echo "demo.sh: the demo needs the console tool, the test kit's fwgen, the vendor library and the" >&2
  echo "         simulated management library; run it again once they are part of the build." >&2
  exit 1
fi

demo=$PWD/build/demo
fwgen=$PWD/$bin/fwgen  # the kit's tool, also used after the tool has run
root=$demo/root        # the simulated machine
tool=$demo/tool        # where the tool runs: program, libraries, FW folder, reports
rm -rf "$demo"
mkdir -p "$root" "$tool"

# The firmware folder is the tool's own folder plus FW; the tool looks for the vendor library in
# its current folder, and the vendor library finds the management library beside itself.
cp "$bin/TIRN" "$bin/LibALDN_ZkFwUpg.so" "$bin/YXMAPIa.so" "$tool/"
echo "== fwgen demo: simulated machine in $root, firmware in $tool/FW"
# --legacy adds legacy-family boards (5706, 5708, 5709, 5716) to the machine and their firmware
# (raw and wrapped image files with their NICFWData.xml entries) to the folder.
"$bin/fwgen" demo "$root" "$tool/FW" --legacy

export FWUPG_SYSTEM_ROOT=$root
cd "$tool"

# Exit codes other than 0 are the tool's results, not demo failures: report them and go on.
run() {
  echo
  echo "== TIRN $*"
  set +e
  ./TIRN "$@"
  local rc=$?
  set -e
  echo "== TIRN $* ended with exit code $rc"
}

run -c
run -d report.xml
if [ -f report.xml ]; then
  echo "== discovery report: $tool/report.xml"
fi
# The E4 board's configuration words before the update: the storage-protocol option (word 34) as
# changed on the board, the configuration version (word 39) and port 0's MAC (words 153-154).
e4_cfg_words() {
  for nvram in "$root"/adapters/e4-*.nvram; do
    [ -e "$nvram" ] || continue
    echo "== fwgen e4-cfg-words $(basename "$nvram") 34 39 153 154 ($1):"
    "$fwgen" e4-cfg-words "$nvram" 34 39 153 154 || true
  done
}
e4_cfg_words "before the update"
if ((power_cut)); then
  # Half the E3 board's NVRAM writes of a fault-free update, counted on a copy of the machine.
  victim=e3-57810
  cp -a "$root" "$demo/count_root"
  cp report.xml "$demo/count.xml"
  FWUPG_SYSTEM_ROOT=$demo/count_root ./TIRN -u "$demo/count.xml" >/dev/null 2>&1 || true
  handle=$(sed -n 's/^api_handle=0x//p' "$root/adapters/$victim-p0.adapter")
  writes=$(grep -c "ord=67 handle=$handle " "$demo/count_root/yxmapi.journal" || true)
  rm -rf "$demo/count_root" "$demo/count.xml"
  cut_at=$((writes / 2 > 0 ? writes / 2 : 1))
  echo
  echo "== power cut: the $victim board's write $cut_at of $writes stores 6 bytes, then the process ends"
  echo "fault=ordinal:67 adapter:$victim nth:$cut_at persist:1 cut:6 exit:1" >"$root/yxmapi.control"
  run -u report.xml
  rm -f "$root/yxmapi.control" "$root/yxmapi.faultcount"
  printf '== fwgen verify %s.nvram after the power cut: ' "$victim"
  "$fwgen" verify "$root/adapters/$victim.nvram" || true
  run -c
  echo
  echo "== power back: the same update runs again and repairs the board"
fi
run -u report.xml
run -c
if ((power_cut)); then
  printf '== fwgen verify %s.nvram after the repair: ' "$victim"
  "$fwgen" verify "$root/adapters/$victim.nvram" || true
fi

# The legacy boards' NVRAM as the updates left it, through the kit's own verifier.
echo
for nvram in "$root"/adapters/l-*.nvram; do
  [ -e "$nvram" ] || continue
  printf '== fwgen verify --legacy %s: ' "$(basename "$nvram")"
  "$fwgen" verify --legacy "$nvram" || true
done
# The E4 board's NVRAM: the kit's E4 verifier and its image list (the new bundle stands in the
# bank that boots next; the directory marks it).
for nvram in "$root"/adapters/e4-*.nvram; do
  [ -e "$nvram" ] || continue
  printf '== fwgen e4-verify %s: ' "$(basename "$nvram")"
  "$fwgen" e4-verify "$nvram" || true
  echo "== fwgen e4-list $(basename "$nvram"):"
  "$fwgen" e4-list "$nvram" || true
done
# The package's "update_cfg -F" line merged the new defaults: the option changed on the board and
# the MACs stay, the configuration version is the package's.
e4_cfg_words "after the update"
echo
echo "== log of the runs: $root/C/tvnsystem/log/tirn.log"

# ---- The same through the update-manager plug-in ------------------------------------------------
# A component folder as the update manager has it: the tool under its key-file name, the vendor
# and management libraries, the firmware folder, the plug-in and its package files.
proot=$demo/plugin_root     # a second, fresh simulated machine
comp=$demo/component
mkdir -p "$proot/C" "$comp"   # the machine's system drive holds the logs
cp "$top/$bin/TIRN" "$comp/YXZQFWUpg.exe"
cp "$top/$bin/LibALDN_ZkFwUpg.so" "$top/$bin/YXMAPIa.so" "$top/$bin/Pelaris.so" "$comp/"
echo
echo "== fwgen demo: simulated machine in $proot, firmware in $comp/FW; package files in $comp"
"$top/$bin/fwgen" demo "$proot" "$comp/FW" --legacy >/dev/null
"$top/$bin/fwgen" component "$comp" --machine "$proot"
export FWUPG_SYSTEM_ROOT=$proot
export KESTRA_COMPONENT_DIR=$comp
host=$top/$bin/kestra_host

# The firmware items of a discovery report: type, version on the adapter, version in the folder.
items() {
  awk 'function val(s) { sub(/.*value="/, "", s); sub(/".*/, "", s); return s }
       /<device_id /       { d = val($0) }
       /<fw_item>/         { item = 1 }
       item && /<type /    { t = val($0) }
       item && /<version / { v = val($0) }
       /<active_version /  { a = val($0) }
       /<\/fw_item>/       { printf "     %-20s %-5s on adapter %-10s in folder %s\n", d, t, a, v; item = 0 }' "$1"
}

# The host prints key=value lines; the tool's own command line reaches the host's verbose log
# through the live log.
plugin() {
  echo
  echo "== kestra_host $*"
  set +e
  KESTRA_LOG_HANDOVER=1 KESTRA_ACTIONS=install "$host" "$@" /verbose_log | grep '^install\.'
  set -e
  grep -a -A1 'Command line supplied' "$proot/C/tvnsystem/log/dz012345.exe.log" | tail -1 |
    sed 's/^.*\t/   console command: /' || true
}

# The install state the host asks before it installs: the plug-in's checks and the tool's version
# check (/N) say whether the adapters' firmware is older than the component's.
state() {
  echo
  echo "== kestra_host: install state (property 5) $1"
  KESTRA_ACTIONS=props "$host" | grep '^property5\.'
}

echo
echo "== kestra_host (properties)"
KESTRA_ACTIONS=props "$host"
KESTRA_ACTIONS=props KESTRA_LANG=de "$host" | grep -E '^property[12]='
plugin /d before.xml
echo "   adapters' firmware before the update ($comp/before.xml):"
items "$comp/before.xml"
state "before the update (2: an update is available)"
plugin /u before.xml
state "after the update (1: the firmware is current)"
plugin /d after.xml
echo "   adapters' firmware after the update ($comp/after.xml):"
items "$comp/after.xml"
echo
echo "== plug-in logs: $proot/C/tvnsystem/log/tvnsetup.log and dz012345.exe.log"
