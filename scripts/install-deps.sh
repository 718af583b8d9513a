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
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
