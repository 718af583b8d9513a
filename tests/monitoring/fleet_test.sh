#!/usr/bin/env bash
# A fleet of two servers read as an administrator reads one: two extagentd hosts on loopback
# with different demo inventories (the first read with the SNMPv2c module, the second with the
# SNMPv3 one as its own user), the real prometheus-snmp-exporter with monitoring's snmp.yml,
# and a real Prometheus with its scrape configuration and rules (copies with one-second
# intervals and "for: 0s"). Through Prometheus's HTTP API: one info series per physical
# entity of each server, with the serial numbers of its saved inventory; then a part replaced
# in the first server (its scenario edited, a rescan event) fires the inventory-changed alert
# for that server and no alert for the other. Every wait is bounded; every process is stopped
# by its PID.
#   fleet_test.sh SOURCE_DIR EXTAGENTD CX_SWITCHD CXREG CX_SWITCH CX_MIB ENTITY_MIB REPLAY_MIB
set -euo pipefail
src=$1 extagentd=$2 switchd=$3 cxreg=$4 cxswitch=$5 cx_mib=$6 entity_mib=$7 replay_mib=$8
for tool in prometheus prometheus-snmp-exporter jq; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool (Debian packages prometheus, prometheus-snmp-exporter, jq) is missing"; exit 77; }
done

work=$(mktemp -d)
pids=()
stop_all() {
  local pid tenth
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for ((tenth = 0; tenth < 100; tenth++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap 'stop_all; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  for log in "$work"/*/*.log "$work"/*.log; do
    [[ -s "$log" ]] && { echo "--- ${log#"$work"/}"; tail -n 20 "$log"; }
  done
  exit 1
}
# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_for() {
  local bound=$1 what=$2
  shift 2
  local deadline=$((SECONDS + bound))
  until "$@"; do
    ((SECONDS < deadline)) || fail "$what (not within $bound s)"
    sleep 0.2
  done
}
# Four free loopback ports, asked of the kernel at once: UDP for the two agents, TCP for the
# exporter and Prometheus.
read -r port_a port_b exporter_port prometheus_port < <(python3 -c 'import socket
kinds = [socket.SOCK_DGRAM] * 2 + [socket.SOCK_STREAM] * 2
sockets = [socket.socket(socket.AF_INET, kind) for kind in kinds]
for s in sockets: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in sockets))')
declare -A port=([a]=$port_a [b]=$port_b) pid

v3_user=(-v3 -l authPriv -u inventory -a SHA -A "a long pass phrase" -x AES -X "another long pass phrase")
# snmp HOST TOOL ARGS...: a net-snmp tool reading HOST (a: community public, b: the SNMPv3 user).
snmp() {
  local host=$1 tool=$2
  shift 2
  local auth=(-v2c -c public)
  [[ $host == a ]] || auth=("${v3_user[@]}")
  "$tool" "${auth[@]}" -m "" -t 1 -r 1 "127.0.0.1:${port[$host]}" "$@"
}

# start_host NAME: its registry, data and scenario in $work/NAME, cx-switchd, and extagentd with
# CX_MIB, ENTITY_MIB and REPLAY_MIB (the demo server's bus, disks and UPS units).
start_host() {
  local name=$1 dir=$work/$1
  mkdir -p "$dir/data" "$dir/state"
  local registry=$dir/registry.db
  local parameters='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
  local agents="$parameters\\ExtensionAgents" setup='HKLM\SOFTWARE\Arvenmark\#Setup'
  reg() { CX_REGISTRY=$registry "$cxreg" "$@" >/dev/null; }
  reg import "$src/data/registry/defaults.reg"
  reg set "$setup" FileRoot REG_SZ "$src/data"
  reg set "$setup" DataRoot REG_SZ "$dir/data"
  reg set "$parameters" UdpPort REG_DWORD "${port[$name]}"
  reg set "$parameters" ListenAddress REG_SZ 127.0.0.1
  reg set 'HKLM\SOFTWARE\Arvenmark\SC_MIB\Subsystems\Environment\Parameters\VolatileParameters' \
    AgentStatus REG_DWORD 1
  reg set 'HKLM\SOFTWARE\Arvenmark\CX_MIB\CurrentVersion' Pathname REG_SZ "$cx_mib"
  reg set 'HKLM\SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion' Pathname REG_SZ "$entity_mib"
  reg set "$agents" ENTITY_MIB REG_SZ 'SOFTWARE\Arvenmark\ENTITY_MIB\CurrentVersion'
  local replay='HKLM\SOFTWARE\Arvenmark\REPLAY_MIB'
  reg set "$replay\\CurrentVersion" Pathname REG_SZ "$replay_mib"
  reg set "$replay\\Parameters" WalkFiles REG_MULTI_SZ "$src/data/walks/demo-bus.walk" \
    "$src/data/walks/demo-hd.walk" "$src/data/walks/demo-ups.walk"
  reg set "$replay\\Parameters" Regions REG_MULTI_SZ .1.3.6.1.4.1.7391.2.10.2.2 .1.3.6.1.2.1.33 \
    .1.3.6.1.4.1.7391.2.58
  reg set "$agents" REPLAY_MIB REG_SZ 'SOFTWARE\Arvenmark\REPLAY_MIB\CurrentVersion'
  local config=()
  if [[ $name == a ]]; then
    reg set "$parameters\\ValidCommunities" public REG_DWORD 4
  else
    # As docs/monitoring.md makes the user: pass phrases in the state file before the start,
    # the access rule in a --config file.
    echo 'createUser inventory SHA "a long pass phrase" AES "another long pass phrase"' \
      >>"$dir/state/extagentd.conf"
    echo 'rouser inventory priv' >"$dir/snmp.conf"
    config=(--config "$dir/snmp.conf")
  fi

  CX_REGISTRY=$registry "$switchd" --socket "$dir/switch.sock" --register \
    --scenario "$dir/scenario.scn" 2>"$dir/switchd.log" &
  pids+=($!)
  pid[$name]=$!
  wait_for 10 "cx-switchd $name listens" test -S "$dir/switch.sock"
  # A tenth of the agents' waits: ENTITY_MIB looks at the saved inventory every 0.2 s.
  CX_REGISTRY=$registry CX_TIME_SCALE=10 "$extagentd" --foreground --registry "$registry" \
    --listen "127.0.0.1:${port[$name]}" --state-dir "$dir/state" "${config[@]}" \
    2>"$dir/extagentd.log" &
  pids+=($!)
}

# Two servers: the demo server, and the same model with serial numbers of its own.
mkdir -p "$work/a" "$work/b"
cp "$src/data/scenarios/demo.scn" "$work/a/scenario.scn"
sed -e 's/T40A012345/T40B054321/; s/\(PS[12][01]\)A0042/\1B0777/; s/CH0815/CH0816/' \
  "$src/data/scenarios/demo.scn" >"$work/b/scenario.scn"
cmp -s "$work/a/scenario.scn" "$work/b/scenario.scn" && fail "the second scenario is the first"
start_host a
start_host b

# serials_saved HOST: the serial numbers its saved inventory holds, one per line, sorted (the
# inventory's "N/A" is ENTITY-MIB's empty string).
serials_saved() {
  sed -n 's/^SerialNo\.[0-9]*=\([^\r]*\)\r\{0,1\}$/\1/p' "$work/$1/data/Catalix.sav" |
    grep -v -x -e 'N/A' -e '' |
    cut -c 1-32 | sort -u
}
scan_done() { [[ $(snmp "$1" snmpget -Oqv .1.3.6.1.4.1.7391.2.10.2.10.2.3.0 2>/dev/null) == 3 ]]; }
# The ENTITY-MIB table is the saved inventory's: its cabinet serial is served.
entity_ready() {
  local serial
  serial=$(serials_saved "$1" | grep -m 1 '^T40' || true)
  [[ -n "$serial" ]] &&
    snmp "$1" snmpwalk -Oqv .1.3.6.1.2.1.47.1.1.1.1.11 2>/dev/null | grep -q "\"$serial\""
}
for host in a b; do
  wait_for 60 "the first scan of server $host ends" scan_done "$host"
  wait_for 30 "ENTITY-MIB of server $host serves the inventory" entity_ready "$host"
done

# The exporter and Prometheus, as monitoring/ configures them, with test intervals.
config_dir=$src/monitoring/prometheus
prometheus-snmp-exporter --config.file="$config_dir/snmp.yml" \
  --web.listen-address="127.0.0.1:$exporter_port" 2>"$work/exporter.log" &
pids+=($!)
# Prometheus's first scrape must find it: a scrape that cannot reach it would count the
# servers as down.
wait_for 10 "the exporter listens" curl -sf -o /dev/null "http://127.0.0.1:$exporter_port/"
sed -e 's/: 1m$/: 1s/; s/scrape_timeout: 30s$/scrape_timeout: 1s/' \
  -e "s/127\\.0\\.0\\.1:9116/127.0.0.1:$exporter_port/" \
  "$config_dir/prometheus.yml" >"$work/prometheus.yml"
sed -E 's/^( *)for: .*/\1for: 0s/' "$config_dir/rules.yml" >"$work/rules.yml"
[[ $(grep -c ': 1s$' "$work/prometheus.yml") == 4 && $(grep -c ":$exporter_port" "$work/prometheus.yml") == 2 ]] ||
  fail "prometheus.yml's intervals or exporter address are not where the test changes them"
grep -q 'for: 0s' "$work/rules.yml" || fail "rules.yml has no \"for:\" to shorten"
mkdir -p "$work/targets"
cat >"$work/targets/servers.yml" <<EOF
- targets: ['127.0.0.1:${port[a]}']
- targets: ['127.0.0.1:${port[b]}']
  labels:
    __module: catalix_inventory_v3
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prometheus_port" 2>"$work/prometheus.log" &
pids+=($!)

# promql EXPR LABEL...: the values of LABELs of every series of the instant query EXPR, one
# series per line (Prometheus keeps no empty label: an empty value is missing), sorted.
promql() {
  local expr=$1
  shift
  curl -sfG --max-time 5 --data-urlencode "query=$expr" \
    "http://127.0.0.1:$prometheus_port/api/v1/query" |
    jq -r --args 'if .status != "success" then error(.error) else
      .data.result[] | [$ARGS.positional[] as $name | .metric[$name] // ""] | join(" ") end' "$@" |
    sort
}
instance() { echo "127.0.0.1:${port[$1]}"; }
info_of() { echo "entPhysicalClass_info{instance=\"$(instance "$1")\"}"; }
scraped() { [[ $(promql "count by (instance) ($(info_of "$1"))" instance) == "$(instance "$1")" ]]; }
for host in a b; do
  wait_for 30 "Prometheus holds the entities of server $host" scraped "$host"
done

# One info series per physical entity, by index, with the inventory's serial numbers.
for host in a b; do
  walked=$(snmp "$host" snmpwalk -On .1.3.6.1.2.1.47.1.1.1.1.5 | grep -c ' = INTEGER: ')
  indexes=$(promql "$(info_of "$host")" entPhysicalIndex)
  [[ $(wc -l <<<"$indexes") == "$walked" && $(sort -u <<<"$indexes" | wc -l) == "$walked" ]] ||
    fail "server $host: $walked entities served, series by index: $(tr '\n' ' ' <<<"$indexes")"
  series_serials=$(promql "$(info_of "$host")" entPhysicalSerialNum | grep -v -x '' | sort -u)
  [[ "$series_serials" == "$(serials_saved "$host")" ]] ||
    fail "server $host: serials in Prometheus differ from its inventory:" \
      "$(diff <(echo "$series_serials") <(serials_saved "$host") || true)"
done
grep -q -x 'T40A012345' <(serials_saved a) && grep -q -x 'T40B054321' <(serials_saved b) ||
  fail "the two servers do not hold their own cabinets' serial numbers"

# A power supply of server a replaced: its scenario answers another serial number from the
# next request on, and the rescan event starts the scan that finds it. Server b scans again
# too, and finds what it had.
sed -i 's/PS10A0042/PS10A0099/' "$work/a/scenario.scn"
kill -HUP "${pid[a]}"
wait_for 10 "cx-switchd a reloads its scenario" grep -q 'scenario reloaded' "$work/a/switchd.log"
last_scan() { snmp "$1" snmpget -Oqv .1.3.6.1.4.1.7391.2.10.2.10.2.2.0 2>/dev/null; }
b_scanned=$(last_scan b)
for host in a b; do
  CX_REGISTRY=$work/$host/registry.db "$cxswitch" event 0x0C80 0 0 0 --data 01 >/dev/null
done
rescanned() { [[ $(last_scan b) != "$b_scanned" ]] && scan_done b; }
wait_for 30 "server b scans again" rescanned
replaced() {
  [[ -n $(promql "$(info_of a | sed 's/}$/,entPhysicalSerialNum="PS10A0099"}/')" instance) ]]
}
wait_for 30 "Prometheus holds server a's new power supply" replaced
firing() { promql 'ALERTS{alertstate="firing"}' alertname instance; }
changed_alert() { grep -q -x "CatalixInventoryChanged $(instance a)" <(firing); }
wait_for 20 "the inventory-changed alert fires for server a" changed_alert
[[ $(firing) == "CatalixInventoryChanged $(instance a)" ]] ||
  fail "firing alerts other than server a's inventory change: $(firing | tr '\n' ';')"
[[ -z $(promql "count_over_time(ALERTS{instance=\"$(instance b)\"}[1h])" alertname) ]] ||
  fail "an alert was raised for server b"
[[ -z $(promql "$(info_of a | sed 's/}$/,entPhysicalSerialNum="PS10A0042"}/')" instance) ]] ||
  fail "server a still shows the power supply that was replaced"
echo "fleet of two servers read and watched: PASS"
