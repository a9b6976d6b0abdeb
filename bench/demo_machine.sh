# Sourced by the benchmark scripts: make_demo_machine BIN WORK [FWGEN_OPTION...] makes the test
# kit's demo machine (with the options given to "fwgen demo", e.g. --legacy for the legacy boards)
# in WORK/root, puts the tool and both libraries with the FW folder in WORK/tool, exports
# FWUPG_SYSTEM_ROOT, enters WORK/tool and writes the discovery report.xml.
make_demo_machine() {
  local bin=$1 work=$2
  shift 2
  root=$work/root tool=$work/tool
  mkdir -p "$root" "$tool"
  cp "$bin/TIRN" "$bin/LibALDN_ZkFwUpg.so" "$bin/YXMAPIa.so" "$tool/"
  "$bin/fwgen" demo "$root" "$tool/FW" "$@" >/dev/null
  export FWUPG_SYSTEM_ROOT=$root
  cd "$tool"
  ./TIRN -d report.xml >/dev/null || true
}
