#!/usr/bin/env bash
# Instructions snmpsvc executes per GETBULK request, counted by valgrind's
# callgrind: a figure that, unlike CPU time, does not move with the load of
# a shared machine. snmpsvc runs under callgrind with the test extension
# agent's table of ROWS rows; the counters are zeroed once it answers, one
# snmpbulkwalk (10 repetitions) walks the table, and the instructions counted
# during the walk (user space only: the kernel's share is not included) are
# divided by the requests (4 x ROWS + 1 bindings, 10 per reply).
#
# With BULK=1 the agent is the same table exporting SnmpExtensionQueryEx,
# which serves each GETBULK in one call.
#
# usage: [BULK=1] bench/snmpsvc/instructions.sh [BUILD_DIR] [ROWS]
#   defaults: build/default 500
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
rows=${2:-500}
table=$build/lib/libsnmpsvc_test_table${BULK:+_ex}.so
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$table"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done
for tool in snmpbulkwalk valgrind callgrind_control; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d /tmp/snmpsvc_instructions_XXXXXX)
svc_pid=''
cleanup() {
  if [ -n "$svc_pid" ]; then kill "$svc_pid" 2> /dev/null || true; wait "$svc_pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work MIBS= HOME=$work
export SNMPSVC_TEST_ROWS=$rows
params='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
"$build/bin/wlreg" set "$params\\ExtensionAgents" 1 REG_SZ 'SOFTWARE\SnmpsvcBench\Table'
"$build/bin/wlreg" set 'HKLM\SOFTWARE\SnmpsvcBench\Table' Pathname REG_SZ "$table"
"$build/bin/wlreg" set "$params\\ValidCommunities" public REG_DWORD 4

port=$(free_port)
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
  "$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$port" > "$work/snmpsvc.log" 2>&1 &
svc_pid=$!
for _ in $(seq 300); do
  snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$port" 1.3.6.1.2.1.1.3.0 > /dev/null 2>&1 && break
  sleep 0.2
done

callgrind_control --zero "$svc_pid" > /dev/null 2>&1
bindings=$(snmpbulkwalk -v2c -c public -Cr10 -On -t 20 -r 1 "127.0.0.1:$port" 1.3.6.1.4.1 |
  grep '^\.' | grep -vc 'No more variables' || true)
callgrind_control --dump "$svc_pid" > /dev/null 2>&1
for _ in $(seq 50); do
  ls "$work"/callgrind.out.* > /dev/null 2>&1 && break
  sleep 0.2
done
instructions=$(awk '/^summary:/ {print $2}' "$work"/callgrind.out.*)
# Ten bindings per reply; the last reply also finds the end of the walk.
replies=$((bindings / 10 + 1))
echo "bindings: $bindings, replies: $replies, instructions: $instructions"
echo "instructions per request: $((instructions / replies))"
