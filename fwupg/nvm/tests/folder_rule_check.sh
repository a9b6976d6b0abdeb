#!/usr/bin/env bash
# The engine's folder rule, checked on the includes: base/ uses only the platform and the host
# record; formats/ may use base/; e123/ and e4/ use base/ and formats/, never each other nor
# commands/; commands/ may use all. Headers under include/fwupg/nvm/<folder>/ keep their folder's rule.
set -u
cd "$(dirname "$0")/.."
[ -d src/base ] || { echo "folder_rule_check: run from fwupg/nvm/tests" >&2; exit 2; }
fail=0
forbid() {  # folder, then the folders it must not include
  local dir=$1 bad hits
  shift
  for bad in "$@"; do
    hits=$(grep -rnE "^#include \"(fwupg/nvm/)?$bad/" "src/$dir" "include/fwupg/nvm/$dir" 2>/dev/null)
    if [ -n "$hits" ]; then
      printf '%s/ must not include %s/:\n%s\n' "$dir" "$bad" "$hits"
      fail=1
    fi
  done
}
forbid base formats e123 e4 commands
forbid formats e123 e4 commands
forbid e123 e4 commands
forbid e4 e123 commands
exit $fail
