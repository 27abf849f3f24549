#!/usr/bin/env bash
# Reliability of the Host Resources MIB under load and churn: 8 clients walk
# 1.3.6.1.2.1.25 continuously for 60 seconds (half with GETBULK, half with
# get-next) while 1,000 short-lived processes are started and killed and a
# tmpfs is mounted and unmounted 50 times (as root; skipped with a notice
# where mounting is not permitted). Passes when every walk ends normally with
# strictly increasing names and reaches every group of the MIB, and the agent
# is still running at the end without a sanitizer report (stress.py).
#
# Our agent rebuilds a table family whose data is older than --refresh
# seconds (default 1, rather than the installed 5, so that the walks run
# into many more rebuilds).
#
# BUILD_DIR may be the ASan build (build/asan): its sanitizer reports go to
# the agent's log, which is printed on failure.
# With --snmpd the agent is net-snmp's snmpd instead, to check the script.
#
# usage: bench/hostmib/stress.sh [BUILD_DIR] [--snmpd] [--seconds N] [--refresh N]
#   (default build/default, 60 seconds, 1)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
use_snmpd=0
seconds=60
refresh_seconds=1
build_arg=
while [ $# -gt 0 ]; do
  case "$1" in
    --snmpd) use_snmpd=1 ;;
    --seconds) seconds=$2; shift ;;
    --refresh) refresh_seconds=$2; shift ;;
    *) build_arg=$1 ;;
  esac
  shift
done
for tool in snmpbulkwalk snmpwalk snmpgetnext /usr/sbin/snmpd python3; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done
. "$root/bench/hostmib/agents.sh"
if [ "$use_snmpd" -eq 0 ]; then
  build=$(cd "${build_arg:-$root/build/default}" && pwd)
  check_ours_built "$build"
fi

make_workdir hostmib_stress
export MIBS= HOME=$work
# Sanitizer reports of an instrumented agent: into its log, and fatal.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

port=$(free_port)
if [ "$use_snmpd" -eq 1 ]; then
  start_snmpd snmpd "$port"
  echo "agent: snmpd $(/usr/sbin/snmpd -v | awk '/version/ {print $NF; exit}')"
  log=$work/snmpd/snmpd.log
else
  start_ours "$build" "$port"
  echo "agent: snmpsvc with libhostmib.so from $build, RefreshSeconds $refresh_seconds"
  log=$work/snmpsvc.log
fi
wait_ready "$port" "$log"

status=0
# 1,000 processes and 50 mounts a minute (a shorter run gets fewer).
python3 "$root/bench/hostmib/stress.py" "$port" --seconds "$seconds" \
  --processes $((1000 * seconds / 60)) --mounts $((50 * seconds / 60)) || status=1
if ! kill -0 "$agent_pid" 2> /dev/null; then
  echo "FAIL the agent is no longer running"
  status=1
elif ! MIBS= snmpgetnext -v2c -c public -t 5 "127.0.0.1:$port" .1.3.6.1.2.1.25 > /dev/null 2>&1; then
  echo "FAIL the agent no longer answers"
  status=1
fi
if grep -qE 'ERROR: AddressSanitizer|runtime error:|LeakSanitizer' "$log" 2> /dev/null; then
  echo "FAIL sanitizer report in the agent's log"
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "--- the agent's log (end) ---"
  grep -v '^Connection from' "$log" 2> /dev/null | tail -40 || true
else
  echo "ok: no crash, every walk well ordered and complete"
fi
exit "$status"
