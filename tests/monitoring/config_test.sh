#!/usr/bin/env bash
# The monitoring configuration as its tools read it: snmp.yml is byte for byte what the
# exporter's generator makes of generator.yml with our MIB modules, and the exporter accepts
# it; Prometheus's configuration and rules pass promtool's checks, and the rules do what
# rules_test.yml expects of them.
#   config_test.sh SOURCE_DIR
set -euo pipefail
src=$1
config=$src/monitoring/prometheus
for tool in prometheus-snmp-generator prometheus-snmp-exporter promtool; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool (Debian packages prometheus-snmp-exporter, prometheus) is missing"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$config/generator.yml" "$work/"
# Our modules only: no net-snmp configuration of this machine, no other MIB directory.
(cd "$work" && SNMPCONFPATH="$work" MIBDIRS="$src/mibs" \
  prometheus-snmp-generator generate --fail-on-parse-errors >generator.log 2>&1) ||
  { cat "$work/generator.log"; exit 1; }
if ! diff -u "$config/snmp.yml" "$work/snmp.yml"; then
  echo "FAIL: monitoring/prometheus/snmp.yml is not what generator.yml gives; regenerate it:"
  echo "  cd monitoring/prometheus && MIBDIRS=../../mibs prometheus-snmp-generator generate --fail-on-parse-errors"
  exit 1
fi
prometheus-snmp-exporter --dry-run --config.file="$config/snmp.yml"
promtool check config "$config/prometheus.yml"
promtool check rules "$config/rules.yml"
(cd "$(dirname "$0")" && promtool test rules rules_test.yml)
echo "monitoring configuration checked"
