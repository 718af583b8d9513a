#!/usr/bin/env bash
# Every MIB module in a directory passes libsmi's checks: smilint at level 6 reports nothing
# worse than a level-5 warning (index columns that are readable, base types without a display
# hint). smilint exits 0 whatever it finds, so its report is the result: each of its lines
# must be "FILE:LINE: [5] ..." or "[6] ..."; any other line fails the module.
#   smilint.sh MIB_DIR
set -euo pipefail
dir=$1
command -v smilint >/dev/null || { echo "SKIP: smilint (Debian package smitools) is missing"; exit 77; }

failures=0
modules=0
for file in "$dir"/*.txt; do
  [[ $(basename "$file") != CMakeLists.txt ]] || continue
  modules=$((modules + 1))
  # Only the directory itself on libsmi's path, and no configuration file: a module must be
  # complete with the modules beside it.
  report=$(SMIPATH="$dir" smilint -c /dev/null -l 6 -s -m "$file" 2>&1 || true)
  if bad=$(grep -v -E '^[^:]+:[0-9]+: \[[56]\] ' <<<"$report" | grep -v '^$'); then
    echo "FAIL: $(basename "$file")"
    echo "$bad"
    failures=$((failures + 1))
  fi
done
((modules > 0)) || { echo "FAIL: no MIB module in $dir"; exit 1; }
echo "$modules modules checked, $failures failed"
exit $((failures > 0))
