#!/usr/bin/env bash
# Runs the system on this machine from the checkout: builds when needed, prepares ./var/ (a
# registry seeded from data/registry/defaults.reg with the paths of ./var), starts cx-switchd
# and extagentd on 127.0.0.1:1161 with the agents that are built and the read community
# "public" (for this demonstration only: an installation has none), and stops both on Ctrl-C.
#   --once   wait until the first inventory scan is done, print a walk of the Catalix
#            inventory MIB, stop, exit 0
#   --demo   the scripted demo server (data/scenarios/demo.scn and data/walks) in place of
#            this machine: by default cx-switchd --linux describes the machine run on
# CX_BUILD_DIR chooses another build directory than build/normal.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

once=0
demo=0
for arg in "$@"; do
  case "$arg" in
    --once) once=1 ;;
    --demo) demo=1 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option '$arg' (see --help)" >&2; exit 2 ;;
  esac
done

listen=127.0.0.1:1161
catalix_subtree=.1.3.6.1.4.1.7391.2.10.2.10
build=${CX_BUILD_DIR:-$root/build/normal}
var=$root/var
export CX_REGISTRY=$var/registry.db
export MIBS=

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what runs here (the tests and benchmarks are test.sh's); agents not configured are skipped.
targets=()
for target in extagentd cx-switchd cxreg CX_MIB SC_MIB REPLAY_MIB ENTITY_MIB; do
  ninja -C "$build" -t query "$target" >/dev/null 2>&1 && targets+=("$target")
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

extagentd=$build/host/extagentd
switchd=$(find "$build/standins" -name cx-switchd -type f -perm -u+x | head -n 1)
cxreg=$(find "$build/tools" -name cxreg -type f -perm -u+x | head -n 1)
agent=$(find "$build" -name CX_MIB.so -type f | head -n 1)
scenario=$(find "$root/data" -path '*scenario*' -name 'demo*' -type f 2>/dev/null | head -n 1)
sc_agent=$(find "$build" -name SC_MIB.so -type f | head -n 1)
# This machine unless --demo: cx-switchd --linux, and SC_MIB for its PCI bus where it has one.
machine_bus=0
if ((!demo)) && [[ -n "$sc_agent" ]] && compgen -G '/sys/bus/pci/devices/*' >/dev/null; then
  machine_bus=1
fi

mkdir -p "$var/data" "$var/log"
# A fresh inventory and trace for every run: the first scan's MIB (what --once prints) must be
# this run's, not the one a previous run saved (perhaps of the demo server).
rm -f "$var/data/Catalix.sav" "$var/data/Catalix.act" "$var/data/Catalix.cpy" "$var/log/CX_MIB.txt"
rm -f "$CX_REGISTRY" "$CX_REGISTRY-wal" "$CX_REGISTRY-shm"
"$cxreg" import data/registry/defaults.reg
"$cxreg" set 'HKLM\SOFTWARE\Arvenmark\#Setup' FileRoot REG_SZ "$root/data"
"$cxreg" set 'HKLM\SOFTWARE\Arvenmark\#Setup' DataRoot REG_SZ "$var/data"
# The agent libraries side by side, as an installation has them, so that the scan lists each
# with the version stamped into it (links into the build, whose agents lie in several places).
rm -rf "$var/agents" && mkdir -p "$var/agents"
for library in "$agent" "$sc_agent" "$(find "$build" -name REPLAY_MIB.so -type f | head -n 1)" \
  "$(find "$build" -name ENTITY_MIB.so -type f | head -n 1)"; do
  if [[ -n "$library" ]]; then ln -s "$library" "$var/agents/"; fi
done
"$cxreg" set 'HKLM\SOFTWARE\Arvenmark\#Setup' AgentRoot REG_SZ "$var/agents"
# This machine's product options: the kernel's machine name and the distribution's ID.
options_key='HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions'
"$cxreg" set "$options_key" ProductType REG_SZ "$(uname -m)"
os_id=$(sed -n 's/^ID=["'"'"']\{0,1\}\([^"'"'"']*\).*/\1/p' /etc/os-release 2>/dev/null | head -n 1)
"$cxreg" set "$options_key" ProductSuite REG_SZ "${os_id:-linux}"
# The host listens where the agents' own SNMP sessions (to 127.0.0.1 on UdpPort) find it.
"$cxreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters' UdpPort REG_DWORD "${listen##*:}"
"$cxreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters' ListenAddress REG_SZ "${listen%:*}"
# The demonstration's read community, answered on loopback only. An installation starts with
# none (docs/OPERATIONS.md, "Opening the agent to managers").
"$cxreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' public REG_DWORD 4
# The agent's trace, with the scan's steps and its "TOTAL SCAN TIME".
"$cxreg" set 'HKLM\SOFTWARE\Debug\CX_MIB' TraceFile REG_SZ "$var/log/CX_MIB.txt"
"$cxreg" set 'HKLM\SOFTWARE\Debug\CX_MIB' FileDebugLevel REG_DWORD 5
agents_key='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents'
if ((machine_bus)); then
  # SC_MIB serves the bus and resource tables and reports itself ready once they are built.
  "$cxreg" set 'HKLM\SOFTWARE\Arvenmark\SC_MIB\CurrentVersion' Pathname REG_SZ "$sc_agent"
  "$cxreg" set "$agents_key" SC_MIB REG_SZ 'SOFTWARE\Arvenmark\SC_MIB\CurrentVersion'
else
  # Without the server-control agent (the demo, or no PCI bus here): report it ready, so that
  # the first scan does not wait the four minutes it gives that agent to start.
  "$cxreg" set 'HKLM\SOFTWARE\Arvenmark\SC_MIB\Subsystems\Environment\Parameters\VolatileParameters' \
    AgentStatus REG_DWORD 1
fi
if [[ -n "$agent" ]]; then
  "$cxreg" set 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' Pathname REG_SZ "$agent"
else
  echo "run.sh: CX_MIB.so is not built yet; extagentd serves without it"
  "$cxreg" delete 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents' CX_MIB
fi

# ENTITY_MIB serves the saved inventory again as ENTITY-MIB's physical entity table.
entity_agent=$(find "$build" -name ENTITY_MIB.so -type f | head -n 1)
if [[ -n "$entity_agent" ]]; then
  "$cxreg" set 'HKLM\SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion' Pathname REG_SZ "$entity_agent"
  "$cxreg" set "$agents_key" ENTITY_MIB REG_SZ 'SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion'
fi

# With --demo, REPLAY_MIB stands in for the server-management agent and the UPS agents with the
# demo walks of the same server as the demo scenario. This machine has neither.
replay=$(find "$build" -name REPLAY_MIB.so -type f | head -n 1)
if ((demo)) && [[ -n "$replay" ]]; then
  replay_key='HKLM\SOFTWARE\Arvenmark\REPLAY_MIB'
  walks=("$root/data/walks/demo-bus.walk" "$root/data/walks/demo-hd.walk" "$root/data/walks/demo-ups.walk")
  "$cxreg" set "$replay_key\CurrentVersion" Pathname REG_SZ "$replay"
  "$cxreg" set "$replay_key\Parameters" WalkFiles REG_MULTI_SZ "${walks[@]}"
  # The server-management tables, and the UPS tables (the standard UPS MIB and the vendor one)
  # that the inventory reads UPS units from.
  "$cxreg" set "$replay_key\Parameters" Regions REG_MULTI_SZ .1.3.6.1.4.1.7391.2.10.2.2 \
    .1.3.6.1.2.1.33 .1.3.6.1.4.1.7391.2.58
  "$cxreg" set "$agents_key" REPLAY_MIB REG_SZ 'SOFTWARE\Arvenmark\REPLAY_MIB\CurrentVersion'
fi

pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
trap stop_all EXIT
trap 'exit 0' INT TERM

rm -f "$var/switch.sock"
switchd_args=(--socket "$var/switch.sock" --register --journal "$var/log/switchd.journal")
if ((!demo)); then
  # Firmware table, procfs and sysfs; its log says which source described the machine.
  switchd_args+=(--linux)
elif [[ -n "$scenario" ]]; then
  switchd_args+=(--scenario "$scenario")
fi
"$switchd" "${switchd_args[@]}" 2>"$var/log/switchd.log" &
pids+=($!)
# The agents attach to the SWITCH server at start: let it listen first (bounded).
for ((tenth = 0; tenth < 100; tenth++)); do
  [[ -S "$var/switch.sock" ]] && break
  sleep 0.1
done

"$extagentd" --foreground --registry "$CX_REGISTRY" --listen "$listen" \
  --state-dir "$var/extagentd" 2>"$var/log/extagentd.log" &
pids+=($!)

# Serving once the host publishes the SNMP service as running (4); bounded, never forever.
status_key='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Status'
for ((tenth = 0; tenth < 300; tenth++)); do
  state=$("$cxreg" query "$status_key" CurrentState 2>/dev/null || true)
  [[ "$state" == 4 ]] && break
  if ! kill -0 "${pids[1]}" 2>/dev/null; then
    echo "run.sh: extagentd ended; see $var/log/extagentd.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [[ "$state" != 4 ]]; then
  echo "run.sh: extagentd did not start serving within 30 s; see $var/log/extagentd.log" >&2
  exit 1
fi

# Each agent answers once its initialisation thread has built its MIB ("started"); bounded.
for name in $("$cxreg" query "$agents_key" 2>/dev/null | sed -n 's/^"\([^"]*\)"=.*/\1/p'); do
  for ((tenth = 0; tenth < 300; tenth++)); do
    run_state=$("$cxreg" query 'HKLM\SOFTWARE\Arvenmark\#Status' "$name" 2>/dev/null || true)
    [[ "$run_state" == started ]] && break
    sleep 0.1
  done
  [[ "$run_state" == started ]] || echo "run.sh: $name did not report \"started\" within 30 s" >&2
done

# The inventory is published once the first scan is done: avkCxScanState reads 3 (bounded).
if [[ -n "$agent" ]]; then
  for ((tenth = 0; tenth < 1200; tenth++)); do
    scan_state=$(snmpget -v2c -c public -Oqv -m "" "$listen" "$catalix_subtree.2.3.0" 2>/dev/null || true)
    [[ "$scan_state" == 3 ]] && break
    sleep 0.1
  done
  [[ "$scan_state" == 3 ]] || echo "run.sh: the first inventory scan did not end within 120 s" >&2
  grep -a "TOTAL SCAN TIME" "$var/log/CX_MIB.txt" 2>/dev/null | tail -n 1 | sed 's/^ *//' || true
fi

if ((once)); then
  snmpwalk -v2c -c public -On -m "" "$listen" "$catalix_subtree" || true
  exit 0
fi

cat <<EOF
extagentd answers on $listen (logs in $var/log). Try:
  snmpwalk -v2c -c public -On $listen $catalix_subtree
  snmptable -v2c -c public -M +$root/mibs $listen ENTITY-MIB::entPhysicalTable
Ctrl-C stops everything.
EOF
wait
