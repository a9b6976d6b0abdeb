#!/bin/sh
# Runs a test program (and its test listing) with FWUPG_SYSTEM_ROOT naming a fresh temporary
# system root that is removed afterwards, so nothing a test process does before or after its
# tests' own roots (a library's load-time calls, for example) lands at the filesystem root.
root=$(mktemp -d "${TMPDIR:-/tmp}/fwupg-test-root.XXXXXX") || exit 70
FWUPG_SYSTEM_ROOT=$root "$@"
rc=$?
rm -rf "$root"
exit $rc
