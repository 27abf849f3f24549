#!/usr/bin/env bash
# Our Host Resources MIB (snmpsvc with libhostmib.so) side by side with
# net-snmp's snmpd on this machine.
#
# Starts snmpd (its own HOST-RESOURCES-MIB) and snmpsvc with the agents that
# scripts/install.sh registers, each on a free loopback port with a temporary
# configuration, registry and persistent directory; walks 1.3.6.1.2.1.25 of
# both (snmpd first) and prints, per table, the rows in each, the rows
# matched and the columns that differ beyond what churn between the walks
# explains, then the checks (compare.py). Exits 1 when a check fails.
#
# With --self the second agent is another snmpd: a check of the comparison
# itself, which must find no difference. The walks wait until both agents
# have sampled the processor load twice (a minute); --quick walks at once.
#
# usage: bench/hostmib/compare.sh [BUILD_DIR] [--self] [--quick]
#   (default build/default)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
self=0
quick=0
build_arg=
for arg in "$@"; do
  case "$arg" in
    --self) self=1 ;;
    --quick) quick=1 ;;
    *) build_arg=$arg ;;
  esac
done
build=$(cd "${build_arg:-$root/build/default}" && pwd)
for tool in snmpbulkwalk snmpgetnext /usr/sbin/snmpd python3; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done
. "$root/bench/hostmib/agents.sh"
[ "$self" -eq 1 ] || check_ours_built "$build"

make_workdir hostmib_compare
export MIBS= HOME=$work

started=$SECONDS
snmpd_port=$(free_port)
start_snmpd snmpd "$snmpd_port"
ours_port=$(free_port)
if [ "$self" -eq 1 ]; then
  start_snmpd other "$ours_port"
  names=(snmpd snmpd2)
else
  start_ours "$build" "$ours_port"
  names=(snmpd ours)
fi
wait_ready "$snmpd_port" "$work/snmpd/snmpd.log"
wait_ready "$ours_port" "$work/$([ "$self" -eq 1 ] && echo other/snmpd.log || echo snmpsvc.log)"
# Both agents get a first walk to fill their caches. Ours rebuilds a table
# family when its data is older than 5 seconds: after the pause its walk is
# no older than snmpd's.
for port in "$snmpd_port" "$ours_port"; do
  snmpbulkwalk -v2c -c public -On -t 10 "127.0.0.1:$port" .1.3.6.1.2.1.25 > /dev/null 2>&1 || true
done
# Both sample the processor load once a minute and have none (snmpd) or 0
# (ours) until their second sample: the comparison waits for that unless
# --quick (compare.py waits 16 seconds more before its walks).
if [ "$quick" -eq 0 ] && [ $((started + 50 - SECONDS)) -gt 0 ]; then
  sleep $((started + 50 - SECONDS))
fi
python3 "$root/bench/hostmib/compare.py" "$snmpd_port" "$ours_port" --names "${names[@]}"
