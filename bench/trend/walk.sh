#!/usr/bin/env bash
# Walk speed of the trend agent's history table through snmpsvc, against
# net-snmp's snmpd walking its HOST-RESOURCES-MIB in the same run.
#
# Lays out an installation whose history directory holds CONTROLS history
# files of SAMPLES samples each (daily controls whose newest sample is due at
# the last midnight, so nothing is sampled or filled during the run), starts
# snmpsvc with the agent and snmpd, and walks trendHistoryValue
# (CONTROLS x SAMPLES bindings) and 1.3.6.1.2.1.25 with snmpwalk (get-next) and
# snmpbulkwalk (GETBULK, 10 repetitions). Prints bindings per second of each,
# the CPU time each agent spent per binding (all its threads, from /proc's
# scheduler statistics), the ratio of the rates, the time from snmpsvc's start
# to its first answer from the history table, and the resident memory of
# snmpsvc with the agent.
#
# Each walk runs RUNS times, alternating between the agents; the best time and
# the least CPU count.
#
# With STARTS=N snmpsvc is started N times (the first start of an install,
# then restarts over the same files) and the spread of the start-up times is
# printed as well.
#
# usage: [STARTS=N] bench/trend/walk.sh [BUILD_DIR] [CONTROLS] [SAMPLES] [RUNS]
#   defaults: build/default 100 1000 3
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
controls=${2:-100}
samples=${3:-1000}
runs=${4:-3}
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$build/lib/libcurvemib.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done
for tool in snmpwalk snmpbulkwalk /usr/sbin/snmpd python3 bc; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

make_workdir trend_walk_bench

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work MIBS= HOME=$work
export WARDENLINE_OBJECT_NAMESPACE=trend-walk-bench-$$
"$root/scripts/install.sh" "$build" "$work/root" > /dev/null
"$build/bin/wlreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' \
  public REG_DWORD 4

# History files: the 412-byte header, then the samples.
mkdir -p "$work/root/TrenFile"
python3 - "$work/root/TrenFile" "$controls" "$samples" <<'EOF'
import struct, sys, time
directory, controls, samples = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
day = 86400
newest = int(time.time()) // day * day
for index in range(1, controls + 1):
    header = bytearray(412)
    header[0:9] = b"NT_TREND\0"
    header[10:12] = b"01"
    struct.pack_into("<IiI", header, 12, index, 1, 8)              # number, valid, class 8
    # A distinct instance name each: files of the same class, interval and
    # instance are copies of one control, and only the first one is kept.
    name = b"bench %d" % index
    header[24:24 + len(name)] = name
    struct.pack_into("<IIIIiiii", header, 292, len(name), 12, samples, samples, 1, 1, 0, 50)
    struct.pack_into("<Iiiii", header, 324, newest - day * (samples - 1), 2, 1, 90, 10)
    struct.pack_into("<iIIIIii", header, 344, -1, samples - 1, 0, 1, samples, -1, 0)
    data = struct.pack("<%di" % samples, *[(index * 7 + k) % 100 for k in range(samples)])
    with open("%s/%d.NT" % (directory, index), "wb") as f:
        f.write(bytes(header) + data)
EOF

history=.1.3.6.1.4.1.64823.2.45.1.2.1.3
# One client that repeats its request every 5 ms until an answer comes (the
# agent answers once its start-up is done; a request sent before the socket
# is open is lost and repeated).
wait_ready() {
  snmpgetnext -v2c -c public -t 0.005 -r 4000 "127.0.0.1:$1" "$2" 2> /dev/null | grep -q '^\.\?[0-9i]' && return 0
  echo "agent on port $1 did not answer" >&2
  exit 1
}

# Each agent starts alone, so that neither start-up is slowed by the other's.
# snmpsvc starts STARTS times (default 1); all but the last are stopped again.
start_svc() {
  svc_port=$(free_port)
  svc_start=$(date +%s.%N)
  "$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$svc_port" > "$work/snmpsvc.log" 2>&1 &
  svc_pid=$!
  pids+=($svc_pid)
  wait_ready "$svc_port" "$history"
  svc_ready=$(date +%s.%N)
  start_ms+=("$(echo "($svc_ready - $svc_start) * 1000" | bc -l)")
}
start_ms=()
for _ in $(seq $((${STARTS:-1} - 1))); do
  start_svc
  kill "$svc_pid"
  wait "$svc_pid" 2> /dev/null || true
done
start_svc

snmpd_port=$(free_port)
printf 'rocommunity public 127.0.0.1\n' > "$work/snmpd.conf"
snmpd_start=$(date +%s.%N)
/usr/sbin/snmpd -f -Lf "$work/snmpd.log" -C -c "$work/snmpd.conf" -p "$work/snmpd.pid" \
  "udp:127.0.0.1:$snmpd_port" &
snmpd_pid=$!
pids+=($snmpd_pid)
wait_ready "$snmpd_port" .1.3.6.1.2.1.25
snmpd_ready=$(date +%s.%N)

# Nanoseconds on the CPU of process PID, summed over its threads (schedstat's
# first field).
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{ns += $1} END {printf "%.0f\n", ns}'; }

# walk TOOL PORT OID PID -> "bindings seconds agent-CPU-nanoseconds"
walk() {
  local start end count cpu_start
  cpu_start=$(cpu "$4")
  start=$(date +%s.%N)
  count=$("$1" -v2c -c public -On -t 5 -r 1 "127.0.0.1:$2" "$3" | grep '^\.' | grep -vc 'No more variables' || true)
  end=$(date +%s.%N)
  echo "$count $(echo "$end - $start" | bc -l) $(($(cpu "$4") - cpu_start))"
}
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

printf '%-13s %-8s %9s %9s %12s %16s\n' tool agent bindings seconds bindings/s 'CPU/binding us'
for tool in snmpwalk snmpbulkwalk; do
  svc_time='' snmpd_time='' svc_cpu='' snmpd_cpu=''
  for _ in $(seq "$runs"); do
    read -r svc_count time ns < <(walk "$tool" "$svc_port" "$history" "$svc_pid")
    svc_time=$(best "$svc_time" "$time")
    svc_cpu=$(best "$svc_cpu" "$ns")
    read -r snmpd_count time ns < <(walk "$tool" "$snmpd_port" .1.3.6.1.2.1.25 "$snmpd_pid")
    snmpd_time=$(best "$snmpd_time" "$time")
    snmpd_cpu=$(best "$snmpd_cpu" "$ns")
  done
  svc_rate=$(echo "$svc_count / $svc_time" | bc -l)
  snmpd_rate=$(echo "$snmpd_count / $snmpd_time" | bc -l)
  printf '%-13s %-8s %9d %9.3f %12.0f %16.2f\n' "$tool" snmpsvc "$svc_count" "$svc_time" "$svc_rate" \
    "$(echo "$svc_cpu / 1000 / $svc_count" | bc -l)"
  printf '%-13s %-8s %9d %9.3f %12.0f %16.2f\n' "$tool" snmpd "$snmpd_count" "$snmpd_time" "$snmpd_rate" \
    "$(echo "$snmpd_cpu / 1000 / $snmpd_count" | bc -l)"
  printf '%-13s ratio snmpsvc/snmpd: %.2f\n' "$tool" "$(echo "$svc_rate / $snmpd_rate" | bc -l)"
done
printf 'snmpsvc start to first history answer: %.0f ms; snmpd to its first answer: %.0f ms (asked every 5 ms)\n' \
  "$(echo "($svc_ready - $svc_start) * 1000" | bc -l)" "$(echo "($snmpd_ready - $snmpd_start) * 1000" | bc -l)"
if [ "${#start_ms[@]}" -gt 1 ]; then
  printf '%s\n' "${start_ms[@]}" | sort -n | awk '{t[NR] = $1} END {
    printf "snmpsvc start to first history answer over %d starts: min %.0f, median %.0f, max %.0f ms\n",
      NR, t[1], (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2), t[NR] }'
fi
echo "snmpsvc resident memory with $controls controls: $(awk '/VmRSS/ {print $2, $3}' /proc/$svc_pid/status)"
