#!/usr/bin/env bash
# Time wltrend needs to read one long history through snmpsvc and the trend
# agent on 127.0.0.1.
#
# Lays out an installation whose history directory holds one daily control of
# SAMPLES samples (newest due at the last midnight, so nothing is sampled
# during the run), starts snmpsvc, and times `wltrend csv` with SNMPv2c
# (GETBULK) and SNMPv1 (get-next), and `wltrend plot --svg`. Each case runs
# RUNS times; the best counts.
#
# usage: bench/wltrend/run.sh [BUILD_DIR] [SAMPLES] [RUNS]
#   defaults: build/default 10000 3
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
samples=${2:-10000}
runs=${3:-3}
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$build/bin/wltrend" "$build/lib/libcurvemib.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done
for tool in python3 snmpget gnuplot; do
  command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d /tmp/wltrend_bench_XXXXXX)
svc_pid=''
cleanup() {
  if [ -n "$svc_pid" ]; then kill "$svc_pid" 2> /dev/null || true; wait "$svc_pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work HOME=$work
export WARDENLINE_OBJECT_NAMESPACE=wltrend-bench-$$
"$root/scripts/install.sh" "$build" "$work/root" > /dev/null
"$build/bin/wlreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' \
  public REG_DWORD 4

# The history file: the 412-byte header, then the samples (every 100th one
# invalid, so the chart has gaps).
mkdir -p "$work/root/TrenFile"
python3 - "$work/root/TrenFile" "$samples" <<'PY'
import struct, sys, time
directory, samples = sys.argv[1], int(sys.argv[2])
day = 86400
newest = int(time.time()) // day * day
header = bytearray(412)
header[0:9] = b"NT_TREND\0"
header[10:12] = b"01"
struct.pack_into("<IiI", header, 12, 1, 1, 8)              # number 1, valid, class 8
struct.pack_into("<IIIIiiii", header, 292, 0, 12, samples, samples, 1, 1, 0, 50)
struct.pack_into("<Iiiii", header, 324, newest - day * (samples - 1), 2, 1, 90, 10)
struct.pack_into("<iIIIIii", header, 344, -1, samples - 1, 0, 1, samples, -1, 0)
values = [-1 if k % 100 == 99 else 30 + (k * 7) % 50 for k in range(samples)]
with open("%s/1.NT" % directory, "wb") as f:
    f.write(bytes(header) + struct.pack("<%di" % samples, *values))
PY

port=$(free_port)
"$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$port" > "$work/snmpsvc.log" 2>&1 &
svc_pid=$!
for _ in $(seq 200); do
  snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$port" .1.3.6.1.4.1.64823.2.45.1.1.1.14.8.1 2> /dev/null |
    grep -q "INTEGER: $samples" && break
  sleep 0.1
done

# best_of CASE ARGS...: the shortest wall time of RUNS runs of wltrend ARGS.
best_of() {
  local name=$1 best='' start end time
  shift
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    "$build/bin/wltrend" "$@" > "$work/out" 2> "$work/err"
    end=$(date +%s.%N)
    time=$(python3 -c "print('%.3f' % ($end - $start))")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $time < $best else 1)"; then best=$time; fi
  done
  printf '%-34s %8s s  (%s lines out)\n' "$name" "$best" "$(wc -l < "$work/out")"
}

agent=udp:127.0.0.1:$port
echo "history of $samples samples on $agent, best of $runs runs"
best_of "csv, SNMPv2c GETBULK" csv "$agent" 1
best_of "csv, SNMPv1 get-next" -v 1 csv "$agent" 1
best_of "plot --svg, SNMPv2c GETBULK" plot "$agent" 1 --svg "$work/chart.svg"
