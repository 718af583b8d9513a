#!/usr/bin/env bash
# The Debian package as built: its control data and maintainer scripts, its file list in the
# FHS layout, no path of the checkout or the build tree in any file, and the extracted
# extagentd serving a walk through the extracted REPLAY_MIB, with a registry of its own.
#   package_test.sh DEB SOURCE_DIR BUILD_DIR
set -euo pipefail
deb=$1
source_dir=$2
build_dir=$3

work=$(mktemp -d)
host_pid=
cleanup() {
  if [[ -n "$host_pid" ]]; then kill -TERM "$host_pid" 2>/dev/null || true; wait "$host_pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Control data: name, dependencies computed from the libraries, the maintainer scripts.
dpkg-deb -f "$deb" Package | grep -qx catalix || fail "package name is not catalix"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libsnmp libsqlite3 libpci libc6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [[ -x "$work/control/$script" ]] || fail "no executable $script"
  sh -n "$work/control/$script" || fail "$script: syntax"
done
grep -q 'Installer\\Products\\{4E2A9B17-6C3D-4F81-A5E0-2D7C91B3F468}' "$work/control/postinst" ||
  fail "postinst does not register the product code"

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/files"
dpkg-deb -x "$deb" "$work/root"
root=$work/root
"$(dirname "$0")/check_layout.sh" "$root/usr" "$source_dir" "$build_dir" || fail "layout"

# postinst against the extracted tree: paths moved below the test's directory, the services
# left alone. The first run makes the store; a second keeps what the administrator changed.
state=$work/var/lib/catalix
sed -e "s#/var/lib/catalix#$state#g; s#/var/log/catalix#$work/var/log/catalix#g" \
    -e "s#/usr/#$root/usr/#g; s#/run/systemd/system#$work/no-systemd#g" \
    -e "s#deb-systemd-helper#cx-test-no-deb-systemd-helper#g" \
    "$work/control/postinst" >"$work/postinst"
stored() { "$root/usr/bin/cxreg" --registry "$state/registry.db" query "$@" 2>&1 || true; }
parameters='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
sh "$work/postinst" configure || fail "postinst configure failed"
[[ $(stored "$parameters\ExtensionAgents" SC_MIB) == 'SOFTWARE\Arvenmark\SC_MIB\CurrentVersion' ]] ||
  fail "postinst did not register SC_MIB"
[[ $(stored "$parameters\ExtensionAgents" ENTITY_MIB) == 'SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion' ]] ||
  fail "postinst did not register ENTITY_MIB"
[[ $(stored 'HKLM\SOFTWARE\Arvenmark\#Setup' AgentRoot) == "$root/usr/lib/catalix/agents" ]] ||
  fail "AgentRoot: $(stored 'HKLM\SOFTWARE\Arvenmark\#Setup' AgentRoot)"
[[ $(stored 'HKLM\SOFTWARE\Classes\Installer\Products\{4E2A9B17-6C3D-4F81-A5E0-2D7C91B3F468}' Package) == catalix ]] ||
  fail "product code not registered"
"$root/usr/bin/cxreg" --registry "$state/registry.db" set "$parameters" UdpPort REG_DWORD 1161
"$root/usr/bin/cxreg" --registry "$state/registry.db" delete "$parameters\ExtensionAgents" SC_MIB
"$root/usr/bin/cxreg" --registry "$state/registry.db" set 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' \
  Pathname REG_SZ /old/CX_MIB.so
sh "$work/postinst" configure || fail "postinst configure (again) failed"
[[ $(stored "$parameters" UdpPort) == 1161 ]] || fail "postinst replaced the store"
[[ $(stored "$parameters\ExtensionAgents" SC_MIB) == *"not found"* ]] || fail "postinst registered SC_MIB again"
[[ $(stored 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' Pathname) == "$root/usr/lib/catalix/agents/CX_MIB.so" ]] ||
  fail "postinst did not rewrite the agent's Pathname"
[[ -d "$work/var/log/catalix" ]] || fail "postinst made no log directory"

# The extracted host with a registry of its own serves the walk of the extracted REPLAY_MIB.
registry=$work/registry.db
cxreg() { "$root/usr/bin/cxreg" --registry "$registry" "$@"; }
port=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cxreg import "$root/usr/share/catalix/defaults.reg"
# The shipped registry has no community: the walk below needs one.
cxreg set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' public REG_DWORD 4
agents='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents'
cxreg delete "$agents" CX_MIB
cxreg set 'HKLM\SOFTWARE\Arvenmark\REPLAY_MIB\CurrentVersion' Pathname REG_SZ \
  "$root/usr/lib/catalix/agents/REPLAY_MIB.so"
cxreg set 'HKLM\SOFTWARE\Arvenmark\REPLAY_MIB\Parameters' WalkFiles REG_MULTI_SZ \
  "$root/usr/share/catalix/walks/demo-ups.walk"
cxreg set 'HKLM\SOFTWARE\Arvenmark\REPLAY_MIB\Parameters' Regions REG_MULTI_SZ .1.3.6.1.2.1.33
cxreg set "$agents" REPLAY_MIB REG_SZ 'SOFTWARE\Arvenmark\REPLAY_MIB\CurrentVersion'

"$root/usr/sbin/extagentd" --foreground --registry "$registry" --listen "127.0.0.1:$port" \
  --state-dir "$work/state" >"$work/extagentd.log" 2>&1 &
host_pid=$!
state=
for ((tenth = 0; tenth < 300; tenth++)); do
  state=$(cxreg query 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Status' CurrentState 2>/dev/null || true)
  [[ "$state" == 4 ]] && break
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ "$state" != 4 ]]; then
  fail "extagentd did not serve: $(cat "$work/extagentd.log")"
else
  # net-snmp reports the end of the MIB view as a line of its own.
  walk=$(snmpwalk -v2c -c public -On -m '' -t 2 -r 1 "127.0.0.1:$port" .1.3.6.1.2.1.33 2>&1 |
    grep -v 'No more variables left' || true)
  expected=$(grep '^\.1\.3\.6\.1\.2\.1\.33\.' "$root/usr/share/catalix/walks/demo-ups.walk")
  [[ "$walk" == "$expected" ]] || fail "walk differs: got [$walk], expected [$expected]"
fi

if ((failures)); then
  echo "package test: $failures failed" >&2
  exit 1
fi
echo "package test: $(wc -l <"$work/files") entries in $(basename "$deb"); 1 passed, 0 failed"
