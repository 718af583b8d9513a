#!/usr/bin/env bash
# The Debian package as built: its control data and maintainer scripts (the services' user, the
# modes of the directories, what an upgrade keeps, removal and purge), its file list in the FHS
# layout, no path of the checkout or the build tree in any file, and the extracted extagentd
# serving a walk through the extracted REPLAY_MIB, with a registry of its own.
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
for library in libsnmp libsqlite3 libpci libc6 adduser; do
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

# The maintainer scripts against the extracted tree: paths moved below the test's directory,
# the services' user and groups replaced by the test's own, the user and the services' actions
# stubbed (logged), the real deb-systemd-helper keeping its links below the extracted root.
stubs=$work/stubs
mkdir -p "$stubs" "$work/systemd-running"
for tool in adduser addgroup deluser delgroup deb-systemd-invoke systemctl; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$work/actions" >"$stubs/$tool"
  chmod +x "$stubs/$tool"
done
printf '#!/bin/sh\nexit 2\n' >"$stubs/getent"  # no user yet
chmod +x "$stubs/getent"
state=$work/var/lib/catalix
logs=$work/var/log/catalix
for script in postinst prerm postrm; do
  sed -e "s#/var/lib/catalix#$state#g; s#/var/log/catalix#$logs#g" \
      -e "s#/usr/#$root/usr/#g; s#/run/systemd/system#$work/systemd-running#g" \
      -e "s#^user=catalix\$#user=$(id -un)#; s#^group=catalix\$#group=$(id -gn)#" \
      -e "s#^loggroup=adm\$#loggroup=$(id -gn)#" \
      "$work/control/$script" >"$work/$script"
done
maintainer() {
  PATH="$stubs:$PATH" DPKG_ROOT=$root DPKG_MAINTSCRIPT_PACKAGE=catalix sh "$work/$1" "${@:2}" ||
    fail "$1 $* failed"
}
actions() { cat "$work/actions" 2>/dev/null; : >"$work/actions"; }
wants=$root/etc/systemd/system/multi-user.target.wants
stored() { "$root/usr/bin/cxreg" --registry "$state/registry.db" query "$@" 2>&1 || true; }
parameters='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'

# The first install makes the user, the directories and the store, enables and starts both.
maintainer postinst configure
[[ $(stat -c %a "$state") == 2770 && $(stat -c %a "$logs") == 2750 ]] ||
  fail "directory modes: $(stat -c '%n %a' "$state" "$logs")"
[[ $(stat -c %a "$state/registry.db") == 660 ]] || fail "store mode: $(stat -c %a "$state/registry.db")"
performed=$(actions)
[[ "$performed" == *"adduser --system"*" $(id -un)"* ]] || fail "no system user made: $performed"
[[ "$performed" == *"deb-systemd-invoke start cx-switchd.service extagentd.service"* ]] ||
  fail "services not started: $performed"
[[ -L "$wants/cx-switchd.service" && -L "$wants/extagentd.service" ]] || fail "services not enabled"
[[ $(stored "$parameters\ExtensionAgents" SC_MIB) == 'SOFTWARE\Arvenmark\SC_MIB\CurrentVersion' ]] ||
  fail "postinst did not register SC_MIB"
[[ $(stored "$parameters\ExtensionAgents" ENTITY_MIB) == 'SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion' ]] ||
  fail "postinst did not register ENTITY_MIB"
[[ $(stored 'HKLM\SOFTWARE\Arvenmark\#Setup' AgentRoot) == "$root/usr/lib/catalix/agents" ]] ||
  fail "AgentRoot: $(stored 'HKLM\SOFTWARE\Arvenmark\#Setup' AgentRoot)"
[[ $(stored 'HKLM\SOFTWARE\Classes\Installer\Products\{4E2A9B17-6C3D-4F81-A5E0-2D7C91B3F468}' Package) == catalix ]] ||
  fail "product code not registered"

# An upgrade keeps what the administrator changed: the store's values, a disabled unit, the
# state directory's mode; it restarts only what runs.
"$root/usr/bin/cxreg" --registry "$state/registry.db" set "$parameters" UdpPort REG_DWORD 1161
"$root/usr/bin/cxreg" --registry "$state/registry.db" delete "$parameters\ExtensionAgents" SC_MIB
"$root/usr/bin/cxreg" --registry "$state/registry.db" set 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' \
  Pathname REG_SZ /old/CX_MIB.so
systemctl --root="$root" --quiet disable extagentd.service
chmod 00700 "$state"  # five digits: clear the set-group-ID bit too
maintainer prerm upgrade 1.0.0
maintainer postinst configure 1.0.0
[[ $(stored "$parameters" UdpPort) == 1161 ]] || fail "postinst replaced the store"
[[ $(stored "$parameters\ExtensionAgents" SC_MIB) == *"not found"* ]] || fail "postinst registered SC_MIB again"
[[ $(stored 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' Pathname) == "$root/usr/lib/catalix/agents/CX_MIB.so" ]] ||
  fail "postinst did not rewrite the agent's Pathname"
[[ $(stat -c %a "$state") == 700 ]] || fail "postinst changed the state directory's mode"
[[ ! -e "$wants/extagentd.service" && -L "$wants/cx-switchd.service" ]] ||
  fail "postinst changed what is enabled: $(ls "$wants")"
performed=$(actions)
[[ "$performed" == *"deb-systemd-invoke try-restart cx-switchd.service extagentd.service"* &&
   "$performed" != *" start "* && "$performed" != *" stop "* ]] || fail "upgrade actions: $performed"
# The layout of an earlier package (root's, 0755) moves to the services' user.
if ((EUID == 0)); then
  chmod 00755 "$state"
  maintainer postinst configure 1.0.0
  [[ $(stat -c %a "$state") == 2770 ]] || fail "earlier layout kept: $(stat -c %a "$state")"
fi

# A removal stops the services and keeps the data; a purge deletes it, never the user.
maintainer prerm remove
maintainer postrm remove
[[ $(actions) == *"deb-systemd-invoke stop extagentd.service cx-switchd.service"* ]] || fail "remove did not stop"
[[ -f "$state/registry.db" ]] || fail "remove deleted the store"
maintainer postrm purge
[[ ! -e "$state" && ! -e "$logs" ]] || fail "purge kept the data"
[[ $(actions) != *del* ]] || fail "purge removed the user"
[[ -z "$(ls -A "$wants" 2>/dev/null)" ]] || fail "purge left enabled units"

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
