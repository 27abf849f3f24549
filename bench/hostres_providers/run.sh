#!/usr/bin/env bash
# CPU that the providers spend building the storage, device and installed-
# software lists of this machine, against what net-snmp's snmpd spends on the
# same tables (hrStorageTable, hrDeviceTable, hrSWInstalledTable), in one run.
#
# Ours: providers_bench (Google Benchmark, CPU time of one call).
# snmpd: started afresh RUNS times on a free loopback port with a private
# configuration; each time the table is walked twice with snmpwalk and the
# CPU time of snmpd (its single thread's run time in /proc/PID/schedstat, in
# nanoseconds) is read around each walk. The first walk builds the table and serves it, the second
# serves it from snmpd's cache; their difference is the build.
#
# usage: bench/hostres_providers/run.sh [BUILD_DIR] [RUNS]
#   defaults: build/default 10
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
runs=${2:-10}
[ -x "$build/bin/providers_bench" ] || { echo "missing $build/bin/providers_bench" >&2; exit 1; }
for tool in snmpwalk snmpget /usr/sbin/snmpd python3; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d /tmp/hostres_providers_bench_XXXXXX)
snmpd_pid=
cleanup() {
  [ -n "$snmpd_pid" ] && kill "$snmpd_pid" 2> /dev/null && wait "$snmpd_pid" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# snmpd keeps its persistent state in a file named like its configuration:
# separate directories, so that each fresh start reads the same configuration.
mkdir -p "$work/conf" "$work/state"
export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work/conf SNMP_PERSISTENT_DIR=$work/state
export MIBS= HOME=$work
printf 'rocommunity public 127.0.0.1\n' > "$work/conf/snmpd.conf"

echo "== providers (CPU of one call)"
"$build/bin/providers_bench" --benchmark_min_time=1 --benchmark_format=csv 2> /dev/null |
  awk -F, '/^"BM_/ { gsub(/"/, "", $1); printf "%-28s %8.2f ms CPU\n", $1, $4 }'

cpu_ns() { awk '{ print $1 }' "/proc/$1/schedstat"; }

# snmpd_table NAME OID -> prints cold, warm and build ms per walk, and rows
snmpd_table() {
  local name=$1 oid=$2 cold=0 warm=0 rows=0
  for _ in $(seq "$runs"); do
    local port
    port=$(free_port)
    /usr/sbin/snmpd -f -Lf "$work/snmpd.log" -C -c "$work/conf/snmpd.conf" -p "$work/snmpd.pid" \
      "udp:127.0.0.1:$port" &
    snmpd_pid=$!
    for _ in $(seq 100); do
      snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$port" .1.3.6.1.2.1.1.3.0 > /dev/null 2>&1 && break
      sleep 0.1
    done
    local t0 t1 t2
    t0=$(cpu_ns "$snmpd_pid")
    rows=$(snmpwalk -v2c -c public -On -t 10 -r 0 "127.0.0.1:$port" "$oid" | grep -c '^\.' || true)
    t1=$(cpu_ns "$snmpd_pid")
    snmpwalk -v2c -c public -On -t 10 -r 0 "127.0.0.1:$port" "$oid" > /dev/null
    t2=$(cpu_ns "$snmpd_pid")
    kill "$snmpd_pid"
    wait "$snmpd_pid" 2> /dev/null || true
    snmpd_pid=
    cold=$((cold + t1 - t0))
    warm=$((warm + t2 - t1))
  done
  awk -v n="$name" -v c="$cold" -v w="$warm" -v r="$runs" -v rows="$rows" \
    'BEGIN { f = 1e-6 / r; printf "%-20s cold walk %7.2f ms, cached walk %7.2f ms, build %7.2f ms CPU  (%d bindings)\n", n, c * f, w * f, (c - w) * f, rows }'
}

echo "== snmpd (CPU per walk, mean of $runs fresh starts)"
snmpd_table hrStorageTable .1.3.6.1.2.1.25.2.3
snmpd_table hrDeviceTable .1.3.6.1.2.1.25.3.2
snmpd_table hrSWInstalledTable .1.3.6.1.2.1.25.6.3
