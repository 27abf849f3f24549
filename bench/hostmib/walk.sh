#!/usr/bin/env bash
# Walk speed of the Host Resources MIB through snmpsvc with libhostmib.so,
# against net-snmp's snmpd serving its own HOST-RESOURCES-MIB, in one run on
# this machine's live data; and the CPU that one rebuild of each table family
# costs the service.
#
# Walks 1.3.6.1.2.1.25 with snmpwalk (get-next) and snmpbulkwalk (GETBULK,
# 25 repetitions) RUNS times each, alternating between the agents; the best
# run counts. Prints bindings per second of each and the ratio, and the
# agent's own CPU (user + system, from /proc) per walk, averaged over the
# runs: the clients' start and their printing weigh on the wall clock of a
# walk of a few thousand bindings as much as the agents do.
#
# Refresh cost: a second snmpsvc with "RefreshSeconds" 0 rebuilds a family at
# every request that touches it. N gets of one object of a family, minus N
# gets of a trend-agent object (the same path without any rebuild), divided
# by N, is the CPU (user + system, from /proc) of one rebuild.
#
# usage: bench/hostmib/walk.sh [BUILD_DIR] [RUNS] [N]   (defaults: build/default 5 200)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
runs=${2:-5}
gets=${3:-200}
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$build/lib/libhostmib.so" "$build/lib/libcurvemib.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build snmpsvc, wlreg, curvemib and hostmib first" >&2; exit 1; }
done
for tool in snmpwalk snmpbulkwalk snmpget /usr/sbin/snmpd python3 bc; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

make_workdir hostmib_walk_bench

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work MIBS= HOME=$work
export WARDENLINE_OBJECT_NAMESPACE=hostmib-walk-bench-$$
unset WARDENLINE_PROVIDERS WARDENLINE_PERFDATA
"$root/scripts/install.sh" "$build" "$work/root" > /dev/null
printf '# no controls\n[TrendFiles]\n' > "$work/root/INI/CURVEMIB.INI"
"$build/bin/wlreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' \
  public REG_DWORD 4

start_snmpsvc() {  # PORT -> pid in $started
  "$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$1" >> "$work/snmpsvc.log" 2>&1 &
  started=$!
  pids+=("$started")
}
wait_ready() {
  for _ in $(seq 300); do
    snmpgetnext -v2c -c public -t 1 -r 0 "127.0.0.1:$1" "$2" 2> /dev/null | grep -q '^\.\?[0-9i]' && return 0
    sleep 0.05
  done
  echo "agent on port $1 did not answer" >&2
  exit 1
}

svc_port=$(free_port)
start_snmpsvc "$svc_port"
svc_pid=$started
snmpd_port=$(free_port)
printf 'rocommunity public 127.0.0.1\n' > "$work/snmpd.conf"
/usr/sbin/snmpd -f -Lf "$work/snmpd.log" -C -c "$work/snmpd.conf" -p "$work/snmpd.pid" \
  "udp:127.0.0.1:$snmpd_port" &
pids+=($!)
wait_ready "$svc_port" .1.3.6.1.2.1.25
wait_ready "$snmpd_port" .1.3.6.1.2.1.25

ticks=$(getconf CLK_TCK)
cpu_of() { awk -v t="$ticks" '{print ($14 + $15) * 1000 / t}' "/proc/$1/stat"; }

# walk TOOL PORT -> "bindings seconds"
walk() {
  local start end count options=()
  [ "$1" = snmpbulkwalk ] && options=(-Cr25)
  start=$(date +%s.%N)
  count=$("$1" -v2c -c public -On -t 10 -r 1 "${options[@]}" "127.0.0.1:$2" .1.3.6.1.2.1.25 2> /dev/null |
    grep '^\.' | grep -vc 'No more variables' || true)
  end=$(date +%s.%N)
  echo "$count $(echo "$end - $start" | bc -l)"
}
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

snmpd_pid=$(cat "$work/snmpd.pid")
printf '%-13s %-8s %9s %9s %12s %14s\n' tool agent bindings seconds bindings/s 'agent CPU ms'
for tool in snmpwalk snmpbulkwalk; do
  svc_time='' snmpd_time='' svc_cpu=0 snmpd_cpu=0
  for _ in $(seq "$runs"); do
    before=$(cpu_of "$svc_pid")
    read -r svc_count time < <(walk "$tool" "$svc_port")
    svc_cpu=$(echo "$svc_cpu + $(cpu_of "$svc_pid") - $before" | bc -l)
    svc_time=$(best "$svc_time" "$time")
    before=$(cpu_of "$snmpd_pid")
    read -r snmpd_count time < <(walk "$tool" "$snmpd_port")
    snmpd_cpu=$(echo "$snmpd_cpu + $(cpu_of "$snmpd_pid") - $before" | bc -l)
    snmpd_time=$(best "$snmpd_time" "$time")
  done
  svc_rate=$(echo "$svc_count / $svc_time" | bc -l)
  snmpd_rate=$(echo "$snmpd_count / $snmpd_time" | bc -l)
  printf '%-13s %-8s %9d %9.3f %12.0f %14.1f\n' "$tool" snmpsvc "$svc_count" "$svc_time" "$svc_rate" \
    "$(echo "$svc_cpu / $runs" | bc -l)"
  printf '%-13s %-8s %9d %9.3f %12.0f %14.1f\n' "$tool" snmpd "$snmpd_count" "$snmpd_time" "$snmpd_rate" \
    "$(echo "$snmpd_cpu / $runs" | bc -l)"
  printf '%-13s ratio snmpsvc/snmpd: %.2f in bindings/s, %.2f in bindings per agent CPU second\n' \
    "$tool" "$(echo "$svc_rate / $snmpd_rate" | bc -l)" \
    "$(echo "($svc_count / $svc_cpu) / ($snmpd_count / $snmpd_cpu)" | bc -l)"
done

# The refresh cost, with every request rebuilding what it touches (the
# first service goes: the trend agent of a second one would wait for its
# semaphore).
kill "$svc_pid" && wait "$svc_pid" 2> /dev/null || true
"$build/bin/wlreg" set 'HKLM\SOFTWARE\Tarvex\Wardenline\HostmibAgent\CurrentVersion' \
  RefreshSeconds REG_DWORD 0
cost_port=$(free_port)
start_snmpsvc "$cost_port"
cost_pid=$started
wait_ready "$cost_port" .1.3.6.1.2.1.25
cpu_ms() { cpu_of "$cost_pid"; }
# gets OID -> CPU milliseconds of the service for $gets requests
gets_cpu() {
  local before after
  before=$(cpu_ms)
  for _ in $(seq "$gets"); do snmpget -v2c -c public -t 10 -r 0 "127.0.0.1:$cost_port" "$1" > /dev/null; done
  after=$(cpu_ms)
  echo "$after - $before" | bc -l
}
gets_cpu .1.3.6.1.2.1.25.4.1.0 > /dev/null  # first builds
gets_cpu .1.3.6.1.2.1.25.2.2.0 > /dev/null
base=$(gets_cpu .1.3.6.1.4.1.64823.2.45.1.1.1.1.0.0)
printf '\none rebuild per request (RefreshSeconds 0), %d gets each, CPU of snmpsvc:\n' "$gets"
for family in 'system group:.1.3.6.1.2.1.25.1.1.0' \
  'storage, devices, partitions, file systems:.1.3.6.1.2.1.25.2.2.0' \
  'running and installed software:.1.3.6.1.2.1.25.4.1.0'; do
  name=${family%%:*}
  cpu=$(gets_cpu "${family#*:}")
  printf '  %-44s %8.2f ms per rebuild\n' "$name" "$(echo "($cpu - $base) / $gets" | bc -l)"
done
printf '  (a get without any rebuild: %.2f ms of CPU)\n' "$(echo "$base / $gets" | bc -l)"
rows() { snmpwalk -v2c -c public -On "127.0.0.1:$cost_port" "$1" | wc -l; }
echo "rows here: $(rows .1.3.6.1.2.1.25.4.2.1.1) processes, $(rows .1.3.6.1.2.1.25.6.3.1.1) installed," \
  "$(rows .1.3.6.1.2.1.25.3.2.1.1) devices, $(rows .1.3.6.1.2.1.25.2.3.1.1) storage rows"
