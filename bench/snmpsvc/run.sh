#!/usr/bin/env bash
# Walk speed of snmpsvc against net-snmp's snmpd on this machine.
#
# Walks a 5,000-row table of the test extension agent (4 columns, so 20,001
# bindings) through snmpsvc, and snmpd's HOST-RESOURCES-MIB (1.3.6.1.2.1.25),
# each with snmpwalk (get-next) and snmpbulkwalk (GETBULK), and prints the
# bindings per second of each and the ratio snmpsvc / snmpd.
#
# Each walk runs RUNS times, alternating between the two agents, and the best
# run counts, so that a busy machine disturbs the comparison less.
#
# usage: bench/snmpsvc/run.sh [BUILD_DIR] [ROWS] [RUNS]
#   BUILD_DIR  a build with snmpsvc, wlreg and the test agents (default build/default)
#   ROWS       rows of the test table (default 5000)
#   RUNS       runs of each walk (default 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
rows=${2:-5000}
runs=${3:-3}
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$build/lib/libsnmpsvc_test_table.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done
for tool in snmpwalk snmpbulkwalk /usr/sbin/snmpd; do
  command -v "$tool" > /dev/null || { echo "missing $tool (Debian packages snmp, snmpd)" >&2; exit 1; }
done

make_workdir snmpsvc_bench

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work MIBS= HOME=$work
export SNMPSVC_TEST_ROWS=$rows
params='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
"$build/bin/wlreg" set "$params\\ExtensionAgents" 1 REG_SZ 'SOFTWARE\SnmpsvcBench\Table'
"$build/bin/wlreg" set 'HKLM\SOFTWARE\SnmpsvcBench\Table' Pathname REG_SZ "$build/lib/libsnmpsvc_test_table.so"
"$build/bin/wlreg" set "$params\\ValidCommunities" public REG_DWORD 4

svc_port=$(free_port)
"$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$svc_port" > "$work/snmpsvc.log" 2>&1 &
pids+=($!)
snmpd_port=$(free_port)
printf 'rocommunity public 127.0.0.1\n' > "$work/snmpd.conf"
/usr/sbin/snmpd -f -Lf "$work/snmpd.log" -C -c "$work/snmpd.conf" -p "$work/snmpd.pid" \
  "udp:127.0.0.1:$snmpd_port" &
pids+=($!)

wait_ready() {
  for _ in $(seq 100); do
    snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$1" 1.3.6.1.2.1.1.3.0 > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "agent on port $1 did not answer" >&2
  exit 1
}
wait_ready "$svc_port"
wait_ready "$snmpd_port"

# walk TOOL PORT OID -> "bindings seconds"
walk() {
  local start end count
  start=$(date +%s.%N)
  count=$("$1" -v2c -c public -On -t 5 -r 1 "127.0.0.1:$2" "$3" | grep '^\.' | grep -vc 'No more variables' || true)
  end=$(date +%s.%N)
  echo "$count $(echo "$end - $start" | bc -l)"
}

# best TIME_SO_FAR NEW -> the smaller
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

printf '%-13s %-8s %9s %9s %12s\n' tool agent bindings seconds bindings/s
for tool in snmpwalk snmpbulkwalk; do
  svc_time='' snmpd_time=''
  for _ in $(seq "$runs"); do
    read -r svc_count time < <(walk "$tool" "$svc_port" .1.3.6.1.4.1.64823.99.1)
    svc_time=$(best "$svc_time" "$time")
    read -r snmpd_count time < <(walk "$tool" "$snmpd_port" .1.3.6.1.2.1.25)
    snmpd_time=$(best "$snmpd_time" "$time")
  done
  svc_rate=$(echo "$svc_count / $svc_time" | bc -l)
  snmpd_rate=$(echo "$snmpd_count / $snmpd_time" | bc -l)
  printf '%-13s %-8s %9d %9.3f %12.0f\n' "$tool" snmpsvc "$svc_count" "$svc_time" "$svc_rate"
  printf '%-13s %-8s %9d %9.3f %12.0f\n' "$tool" snmpd "$snmpd_count" "$snmpd_time" "$snmpd_rate"
  printf '%-13s ratio snmpsvc/snmpd: %.2f\n' "$tool" "$(echo "$svc_rate / $snmpd_rate" | bc -l)"
done
