#!/usr/bin/env bash
# System calls per request of snmpsvc: a GETBULK walk (10 repetitions) of the
# test extension agent's table under strace -c, divided by the replies sent.
# Prints the calls per request and the most frequent calls, and the CPU time
# snmpsvc spends per request over WALKS untraced walks before.
#
# With BULK=1 the agent is the same table exporting SnmpExtensionQueryEx,
# which serves each GETBULK in one call.
#
# usage: [BULK=1] bench/snmpsvc/syscalls.sh [BUILD_DIR] [ROWS] [WALKS]
#   defaults: build/default 500 5
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
rows=${2:-500}
table=$build/lib/libsnmpsvc_test_table${BULK:+_ex}.so
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$table"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done
for tool in snmpbulkwalk strace; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

make_workdir snmpsvc_syscalls

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work MIBS= HOME=$work
export SNMPSVC_TEST_ROWS=$rows
params='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
"$build/bin/wlreg" set "$params\\ExtensionAgents" 1 REG_SZ 'SOFTWARE\SnmpsvcBench\Table'
"$build/bin/wlreg" set 'HKLM\SOFTWARE\SnmpsvcBench\Table' Pathname REG_SZ "$table"
"$build/bin/wlreg" set "$params\\ValidCommunities" public REG_DWORD 4

port=$(free_port)
"$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$port" > "$work/snmpsvc.log" 2>&1 &
svc_pid=$!
pids+=($svc_pid)
for _ in $(seq 100); do
  snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$port" 1.3.6.1.2.1.1.3.0 > /dev/null 2>&1 && break
  sleep 0.1
done

# CPU of snmpsvc per request, untraced: nanoseconds on the CPU summed over
# its threads (schedstat's first field) around WALKS walks.
cpu() { cat /proc/"$svc_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%.0f\n", ns}'; }
walks=${3:-5}
before=$(cpu)
for _ in $(seq "$walks"); do
  snmpbulkwalk -v2c -c public -Cr10 -On -t 5 -r 1 "127.0.0.1:$port" 1.3.6.1.4.1 > /dev/null
done
after=$(cpu)

strace -f -c -o "$work/strace.txt" -p "$svc_pid" 2> /dev/null &
strace_pid=$!
sleep 1
snmpbulkwalk -v2c -c public -Cr10 -On -t 5 -r 1 "127.0.0.1:$port" 1.3.6.1.4.1 > /dev/null
sleep 0.5
kill -INT "$strace_pid"
wait "$strace_pid" 2> /dev/null || true
replies=$(awk '$NF == "sendmsg" || $NF == "sendto" {n += $4} END {print n + 0}' "$work/strace.txt")
total=$(awk 'NR > 2 && $1 ~ /^[0-9.]+$/ && $NF != "total" {n += $4} END {print n + 0}' "$work/strace.txt")
echo "replies: $replies, system calls: $total, per request: $(echo "$total / $replies" | bc -l | xargs printf '%.1f')"
echo "CPU per request (untraced, $walks walks): $(echo "($after - $before) / 1000 / ($replies * $walks)" | bc -l | xargs printf '%.1f') us"
awk 'NR > 2 && $1 ~ /^[0-9.]+$/ && $NF != "total" {printf "  %-16s %6.1f\n", $NF, $4 / '"$replies"'}' "$work/strace.txt" |
  sort -k2 -nr | head -12
