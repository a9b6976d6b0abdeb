#!/usr/bin/env bash
# Builds the optimised preset, makes a simulated machine and a firmware folder, and runs the
# console update tool on them: list the adapters, write a discovery report, update from it and
# list again.
#
#   ./demo.sh            everything under build/demo (made afresh on each run)
set -euo pipefail
cd "$(dirname "$0")"

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

bin=build/release/bin
missing=()
for f in TIRN fwgen LibALDN_ZkFwUpg.so YXMAPIa.so; do
  [ -e "$bin/$f" ] || missing+=("$f")
done
if ((${#missing[@]})); then
  echo "demo.sh: not built yet: ${missing[*]}" >&2
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
run -u report.xml
run -c

# The legacy boards' NVRAM as the updates left it, through the kit's own verifier.
echo
for nvram in "$root"/adapters/l-*.nvram; do
  [ -e "$nvram" ] || continue
  printf '== fwgen verify --legacy %s: ' "$(basename "$nvram")"
  "$fwgen" verify --legacy "$nvram" || true
done
echo
echo "== log of the runs: $root/C/tvnsystem/log/tirn.log"
