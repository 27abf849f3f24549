#!/usr/bin/env bash
# Idle CPU of snmpsvc with the agents that scripts/install.sh registers (the
# trend agent, and the host resources agent when built) and no control at
# all: the CPU time (from /proc's scheduler statistics) the process uses over
# SECONDS seconds, printed per 5 seconds, once per run. With CONTROLS=sample
# in the environment the sample configuration's controls stay (one of them
# samples every minute).
#
# usage: bench/trend/idle.sh [BUILD_DIR] [SECONDS] [RUNS]
#   defaults: build/default 30 3
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
seconds=${2:-30}
runs=${3:-3}
for tool in "$build/bin/snmpsvc" "$build/bin/wlreg" "$build/lib/libcurvemib.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build the default preset first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/trend_idle_bench_XXXXXX)
svc_pid=''
cleanup() {
  if [ -n "$svc_pid" ]; then kill "$svc_pid" 2> /dev/null || true; wait "$svc_pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

export WARDENLINE_REGISTRY=$work/registry.db HOME=$work
export WARDENLINE_OBJECT_NAMESPACE=trend-idle-bench-$$
"$root/scripts/install.sh" "$build" "$work/root" > /dev/null
mkdir -p "$work/root/TrenFile"
# Control lines start with a class name; comments stay.
[ "${CONTROLS:-}" = sample ] || sed -i '/^[a-zA-Z]/d' "$work/root/INI/CURVEMIB.INI"
port=$(free_port)
"$build/bin/snmpsvc" -f --agent "udp:127.0.0.1:$port" > "$work/snmpsvc.log" 2>&1 &
svc_pid=$!
sleep 3
# Nanoseconds on the CPU, summed over the threads (schedstat's first field).
cpu() { cat /proc/"$svc_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%.0f\n", ns}'; }
for run in $(seq "$runs"); do
  before=$(cpu)
  sleep "$seconds"
  after=$(cpu)
  echo "run $run: $(echo "($after - $before) / 1000000 / ($seconds / 5)" | bc -l | xargs printf '%.2f') ms CPU per 5 s"
done
