#!/usr/bin/env bash
# An installed tree (a DESTDIR or an extracted package) in the FHS layout, with no path of the
# checkout or the build tree in any file.
#   check_layout.sh PREFIX_DIR SOURCE_DIR BUILD_DIR     (PREFIX_DIR: the tree's /usr)
#   check_layout.sh --install PREFIX SOURCE_DIR BUILD_DIR  (cmake --install into a temporary
#                                                          DESTDIR first)
set -euo pipefail
if [[ "$1" == --install ]]; then
  destdir=$(mktemp -d)
  trap 'rm -rf "$destdir"' EXIT
  DESTDIR=$destdir cmake --install "$4" >/dev/null
  "$0" "$destdir$2" "$3" "$4"
  exit
fi
prefix=$1
source_dir=$2
build_dir=$3

failures=0
for path in sbin/extagentd sbin/cx-switchd bin/cxreg bin/cxini bin/cxinv bin/cx-switch \
            lib/catalix/agents/CX_MIB.so lib/catalix/agents/REPLAY_MIB.so \
            lib/catalix/agents/ENTITY_MIB.so share/snmp/mibs/ENTITY-MIB.txt \
            share/catalix/defaults.reg share/catalix/CX_MIB.ini \
            share/catalix/walks/demo-ups.walk share/snmp/mibs/CATALIX-INVENTORY-MIB.txt \
            share/snmp/mibs/CATALIX-SERVER-CONTROL-MIB.txt \
            lib/systemd/system/extagentd.service lib/systemd/system/cx-switchd.service \
            share/man/man8/extagentd.8.gz share/man/man8/cx-switchd.8.gz share/man/man1/cxreg.1.gz \
            share/man/man1/cxini.1.gz share/man/man1/cxinv.1.gz share/doc/catalix/OPERATIONS.md; do
  [[ -e "$prefix/$path" ]] || { echo "FAIL: missing $path" >&2; failures=$((failures + 1)); }
done
if leaks=$(grep -rlF -e "$source_dir" -e "$build_dir" "$prefix"); then
  echo "FAIL: paths of the build tree in: $leaks" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
