#!/usr/bin/env bash
# The installed systemd units: `systemd-analyze verify` passes without a warning, the sandbox
# scores "OK" or better in `systemd-analyze security`, and each unit allows what its program
# needs (the program's CX_SANDBOX_NEEDS: socket families, capabilities, device nodes and the
# directories it writes). The programs are not installed here: for verify, each ExecStart names
# /bin/true instead, the rest stays as is. Exits 77 (skipped) where systemd-analyze is missing.
#   verify_units.sh UNITS_DIR UNIT=NEEDS...     e.g. cx-switchd.service="AF_UNIX /dev/ipmi0"
set -euo pipefail
units_dir=$1
shift

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "systemd-analyze not found: unit check skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

units=()
for unit in "$units_dir"/*.service; do
  grep -q '^ExecStart=/' "$unit" || { echo "$unit: no ExecStart with a full path" >&2; exit 1; }
  sed 's#^ExecStart=[^ ]*#ExecStart=/bin/true#' "$unit" >"$work/${unit##*/}"
  units+=("$work/${unit##*/}")
done
((${#units[@]} == 2)) || { echo "expected two units in $units_dir" >&2; exit 1; }

status=0
output=$(systemd-analyze verify --man=no "${units[@]}" 2>&1) || status=$?
if ((status != 0)) || [[ -n "$output" ]]; then
  fail "systemd-analyze verify (exit $status): $output"
fi
# 4.9 is the worst exposure systemd still calls "OK".
for unit in "${units[@]}"; do
  systemd-analyze security --offline=true --threshold=49 "$unit" >"$work/security" 2>&1 ||
    fail "${unit##*/}: $(tail -1 "$work/security")"
done

# A setting of the [Service] section as systemd reads it: list settings add up, an empty
# assignment clears them; "<unset>" when the unit never names it.
setting() {  # UNIT NAME
  awk -v key="$2" '
    /^\[/ { service = ($0 == "[Service]"); next }
    service && index($0, key "=") == 1 {
      value = substr($0, length(key) + 2); seen = 1
      total = (value == "" ? "" : (total == "" ? value : total " " value))
    }
    END { print(seen ? total : "<unset>") }' "$1"
}
has_word() { [[ " $1 " == *" $2 "* ]]; }
# Whether a list setting lets `item` through: unset, an allow list naming it, or a deny list
# ("~...") not naming it.
lets_through() {  # VALUE ITEM
  [[ "$1" == "<unset>" ]] && return 0
  if [[ "$1" == "~"* ]]; then ! has_word "${1#\~}" "$2"; else has_word "$1" "$2"; fi
}
# Whether `path` lies in one of the directories listed (a leading "-" marks an optional one).
below_any() {  # PATH DIRECTORY...
  local path=$1 dir
  shift
  for dir in "$@"; do
    dir=${dir#-}
    [[ "$path" == "$dir" || "$path" == "$dir"/* ]] && return 0
  done
  return 1
}

for pair in "$@"; do
  name=${pair%%=*}
  unit=$units_dir/$name
  [[ -f "$unit" ]] || { fail "$name: no such unit"; continue; }
  user=$(setting "$unit" User)
  for need in ${pair#*=}; do
    case "$need" in
      AF_*)
        lets_through "$(setting "$unit" RestrictAddressFamilies)" "$need" ||
          fail "$name: RestrictAddressFamilies forbids $need" ;;
      CAP_*)
        lets_through "$(setting "$unit" CapabilityBoundingSet)" "$need" ||
          fail "$name: CapabilityBoundingSet lacks $need"
        if [[ "$user" != "<unset>" && "$user" != root ]]; then
          has_word "$(setting "$unit" AmbientCapabilities)" "$need" ||
            fail "$name: runs as $user without $need in AmbientCapabilities"
        fi ;;
      /dev/*)
        [[ "$(setting "$unit" PrivateDevices)" != yes ]] || fail "$name: PrivateDevices hides $need"
        policy=$(setting "$unit" DevicePolicy)
        if [[ "$policy" == closed || "$policy" == strict ]]; then
          has_word "$(setting "$unit" DeviceAllow)" "$need" || fail "$name: DeviceAllow lacks $need"
        fi ;;
      /*)
        writable=($(setting "$unit" ReadWritePaths | sed 's/<unset>//'))
        for kind in Runtime:/run State:/var/lib Logs:/var/log; do
          for dir in $(setting "$unit" "${kind%%:*}Directory" | sed 's/<unset>//'); do
            writable+=("${kind#*:}/$dir")
          done
        done
        if [[ "$(setting "$unit" ProtectSystem)" == strict ]] &&
           ! below_any "$need" ${writable[@]+"${writable[@]}"}; then
          fail "$name: ProtectSystem=strict and $need is not writable"
        fi ;;
      *) fail "$name: need $need not understood" ;;
    esac
  done
done

if ((failures)); then
  echo "units: $failures failed" >&2
  exit 1
fi
echo "units verified: ${units[*]##*/}"
