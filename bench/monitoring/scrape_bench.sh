#!/usr/bin/env bash
# The fleet's scrape of one large server: prometheus-snmp-exporter with monitoring's snmp.yml
# reads the module catalix_inventory from extagentd serving a saved inventory of 2,000
# components in 60 physical and 200 functional containers (CX_MIB and ENTITY_MIB; the SWITCH
# server grants the rights and delivers nothing else, so every scan fails and the agent keeps
# serving the saved file). Five scrapes through the exporter's HTTP interface, as Prometheus
# makes them; for each, the exporter's own figures (variables returned, request packets, its
# time in seconds, to hold against its default timeout of 10 s) and the time of the whole HTTP
# request; then their means.
#   bench/monitoring/scrape_bench.sh [BUILD_DIR]   (default build/normal, already built)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build/normal}
find_built() { find "$build" -name "$1" -type f | head -n 1; }
extagentd=$build/host/extagentd switchd=$(find_built cx-switchd) cxreg=$(find_built cxreg)
cx_mib=$(find_built CX_MIB.so) entity_mib=$(find_built ENTITY_MIB.so)
for tool in "$extagentd" "$switchd" "$cxreg" "$cx_mib" "$entity_mib" prometheus-snmp-exporter; do
  [[ -x "$tool" ]] || command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"' EXIT
read -r agent_port exporter_port < <(python3 -c 'import socket
sockets = [socket.socket(socket.AF_INET, kind) for kind in (socket.SOCK_DGRAM, socket.SOCK_STREAM)]
for s in sockets: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in sockets))')

components=2000
awk -v components=$components 'function row(n, key, value) { printf "%s.%d=%s\r\n", key, n, value }
BEGIN {
  printf "[Last Date]\r\nLastDate=6956F3F5\r\nLastScan=6956F3F5\r\nScanState=DONE\r\n"
  printf "[Agent Info]\r\nAgentId=Catalix inventory SNMP agent\r\n[Component Definition]\r\n"
  for (type = 1; type <= 40; ++type) printf "%02X=Component type %d\r\n", type, type
  split("Physical Functional", kinds, " ")
  for (k = 1; k <= 2; ++k) {
    printf "[%s Definition]\r\n", kinds[k]
    for (n = 1; n <= 30; ++n) { row(n, "Type", n); row(n, "Name", "Node type " n) }
  }
  containers["Physical"] = 60; containers["Functional"] = 200
  for (k = 1; k <= 2; ++k) {
    printf "[%s Container]\r\nNrContainer=%d\r\n", kinds[k], containers[kinds[k]]
    for (n = 1; n <= containers[kinds[k]]; ++n) {
      row(n, "Type", n % 30 + 1); row(n, "Parent", int(n / 2)); row(n, "Name", "Container " n)
    }
  }
  printf "[Component Table]\r\nNrComponents=%d\r\n", components
  for (n = 1; n <= components; ++n) {
    row(n, "PhysCont", n % 60 + 1); row(n, "FuncCont", n % 200 + 1); row(n, "CompType", n % 170)
    row(n, "Vendor", "Arvenmark Systems"); row(n, "ProdName", "Catalix CX2200 system board A1234")
    row(n, "ProdNumber", "Q47120-A1234-A10"); row(n, "ProdDescript", "System board, revision GS 3")
    row(n, "Version", "6.00 R1.12.1234"); row(n, "SerialNo", "LBXX" (100000 + n))
    row(n, "CompId", "COMP-" n)
  }
}' >"$work/Catalix.sav"

export CX_REGISTRY=$work/registry.db
snmp='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters' vendor='HKLM\SOFTWARE\Arvenmark'
reg() { "$cxreg" set "$@" >/dev/null; }
reg "$snmp\\ValidCommunities" public REG_DWORD 4
reg "$snmp\\ExtensionAgents" 1 REG_SZ 'SOFTWARE\Arvenmark\CX_MIB\CurrentVersion'
reg "$snmp\\ExtensionAgents" 2 REG_SZ 'SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion'
reg "$vendor\\CX_MIB\\CurrentVersion" Pathname REG_SZ "$cx_mib"
reg "$vendor\\ENTITY_MIB\\CurrentVersion" Pathname REG_SZ "$entity_mib"
reg "$vendor\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters" AgentStatus REG_DWORD 1
reg "$vendor\\#Setup" DataRoot REG_SZ "$work"
reg "$vendor\\#Setup" FileRoot REG_SZ "$src/data"
printf '%s\n' 'reply 0xE001 0x3811 * * : byte 1' 'reply 0xE001 0x3810 * * : byte 0' \
  'reply 0xE001 0x3812 * * : byte 1' 'reply * * * * : status 6' >"$work/switch.scn"

"$switchd" --socket "$work/switch.sock" --register --scenario "$work/switch.scn" 2>"$work/switchd.log" &
pids+=($!)
for ((tenth = 0; tenth < 100; tenth++)); do [[ -S "$work/switch.sock" ]] && break; sleep 0.1; done
"$extagentd" --foreground --registry "$CX_REGISTRY" --state-dir "$work/state" \
  --listen "127.0.0.1:$agent_port" >"$work/extagentd.log" 2>&1 &
pids+=($!)
prometheus-snmp-exporter --config.file="$src/monitoring/prometheus/snmp.yml" \
  --web.listen-address="127.0.0.1:$exporter_port" 2>"$work/exporter.log" &
pids+=($!)

url="http://127.0.0.1:$exporter_port/snmp?module=catalix_inventory&target=127.0.0.1:$agent_port"
# scrape: one scrape into $work/scrape.txt; prints the time of the HTTP request.
scrape() { curl -sf --max-time 30 -o "$work/scrape.txt" -w '%{time_total}' "$url" || true; }
ready=0
for ((try = 0; try < 120 && !ready; try++)); do
  scrape >/dev/null
  [[ $(grep -c '^avkCxInfoCompType{' "$work/scrape.txt" 2>/dev/null) == "$components" ]] && ready=1
  ((ready)) || sleep 0.5
done
((ready)) || { echo "the exporter did not read the inventory; see $work" >&2; tail "$work"/*.log >&2; exit 1; }

figure() { sed -n "s/^$1 //p" "$work/scrape.txt"; }
echo "scrape  entities  variables  packets  exporter_s  http_s"
for scrape_no in 1 2 3 4 5; do
  http_s=$(scrape)
  echo "$scrape_no $(grep -c '^entPhysicalClass_info{' "$work/scrape.txt") $(figure snmp_scrape_pdus_returned)" \
    "$(figure snmp_scrape_packets_sent) $(figure snmp_scrape_duration_seconds) $http_s"
done | tee "$work/figures.txt"
awk '{ for (i = 2; i <= NF; ++i) sum[i] += $i } END {
  printf "mean    %d  %d  %d  %.3f  %.3f\n", sum[2] / NR, sum[3] / NR, sum[4] / NR, sum[5] / NR, sum[6] / NR }' \
  "$work/figures.txt"
