#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the processes need, when missing.
# Runs apt-get only if something is missing, and then updates the package lists once.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev
  libsnmp-dev snmp snmpd snmptrapd smitools
  socat
  prometheus prometheus-snmp-exporter jq
  lshw
  libpci-dev pciutils pci.ids
  libkmod-dev
  libudev-dev libsystemd-dev
  libfreeipmi-dev libupsclient-dev
  openipmi ipmitool nut-server nut-client
  clang libclang-rt-14-dev clang-format
  gcovr
  dpkg-dev file systemd init-system-helpers
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

# Several of these packages ship services (Prometheus and the SNMP exporter would listen on every
# address, snmpd, snmptrapd, upsd). The tests start their own copies on loopback, so the
# services these packages bring stay stopped: no start while installing (policy-rc.d, unless
# the administrator has one) and, under systemd, disabled afterwards. Services of packages that
# were installed before are not touched.
policy=/usr/sbin/policy-rc.d
own_policy=false
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\n# install-deps.sh: no service starts while it installs\nexit 101\n' |
    "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 0755 "$policy"
  own_policy=true
fi
drop_policy() { if $own_policy; then "${sudo_cmd[@]}" rm -f "$policy"; fi; }
trap drop_policy EXIT

"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

if [[ -d /run/systemd/system ]]; then
  units=()
  for package in "${missing[@]}"; do
    while IFS= read -r path; do
      units+=("$(basename "$path")")
    done < <(dpkg-query -L "$package" 2>/dev/null | grep -E '/systemd/system/[^/]+\.service$' || true)
  done
  if ((${#units[@]})); then
    echo "Leaving the services these packages brought stopped and disabled: ${units[*]}"
    "${sudo_cmd[@]}" systemctl disable --now "${units[@]}" >/dev/null 2>&1 || true
  fi
fi
