#!/usr/bin/env bash
# How mgrseek's listener keeps up with a flood of advertisements, and what the
# flood costs it.
#
# Runs mgrseek in the foreground (private registry, IPX in UDP on a free port
# of 127.0.0.1) and has wlipx send COUNT advertisements at RATE a second from
# CONSOLES distinct consoles (on 127.0.0.2). Prints what was sent, what the
# listener took (its "type = " lines), what the socket buffer dropped (the
# drops counter of the UDP socket in /proc/net/udp), mgrseek's CPU time during
# the flood, its resident memory after the first and the last second, and the
# values in the trap destination key.
#
# usage: bench/mgrseek/flood.sh [BUILD_DIR] [RATE] [SECONDS] [CONSOLES]
#   defaults: build/default 10000 10 1000
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/bench/common.sh"
build=$(cd "${1:-$root/build/default}" && pwd)
rate=${2:-10000}
seconds=${3:-10}
consoles=${4:-1000}
count=$((rate * seconds))
for tool in mgrseek wlipx wlreg; do
  [ -x "$build/bin/$tool" ] || { echo "missing $build/bin/$tool: build it first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/mgrseek_bench_XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export WARDENLINE_REGISTRY=$work/registry.db WARDENLINE_OBJECT_NAMESPACE=mgrseek-bench-$$

port=$(free_port)
ipx='HKLM\SYSTEM\CurrentControlSet\Services\NwlnkIpx\Parameters'
"$build/bin/wlreg" set "$ipx" UdpPort REG_DWORD "$port"
"$build/bin/wlreg" set "$ipx" BindAddress REG_SZ 127.0.0.1

"$build/bin/mgrseek" -f --period 1 >"$work/out.txt" &
pid=$!
sleep 0.5

hexport=$(printf '%04X' "$port")
drops() { awk -v p=":$hexport" '$2 ~ p"$" { print $NF }' /proc/net/udp | head -1; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }

drops_before=$(drops)
cpu_before=$(cpu_ticks)
"$build/bin/wlipx" advertise --bind 127.0.0.2 --to 127.0.0.1 --port "$port" \
  --count "$rate" --rate "$rate" --consoles "$consoles" >/dev/null
rss_first=$(rss_kb)
"$build/bin/wlipx" advertise --bind 127.0.0.2 --to 127.0.0.1 --port "$port" \
  --count $((count - rate)) --rate "$rate" --consoles "$consoles" | sed 's/^/after the first second: /'
sleep 2  # the listener empties its buffer, the updater makes its pass
cpu_after=$(cpu_ticks)
rss_last=$(rss_kb)
drops_after=$(drops)
taken=$(grep -c '^type = ' "$work/out.txt" || true)
values=$("$build/bin/wlreg" query 'HKLM\System\CurrentControlSet\Services\SNMP\Parameters\TrapConfiguration\public' | grep -c REG_SZ || true)
ticks=$(getconf CLK_TCK)

echo "sent:               $count advertisements, $rate a second, from $consoles consoles"
echo "taken by listener:  $taken ($((count - taken)) not taken)"
echo "socket drops:       $((drops_after - drops_before))"
echo "mgrseek CPU time:   $(awk -v t=$((cpu_after - cpu_before)) -v h="$ticks" 'BEGIN { printf "%.2f s", t / h }')"
echo "resident memory:    ${rss_first} kB after the first second, ${rss_last} kB at the end"
echo "key values:         $values"
grep 'consoles heard' "$work/out.txt" || true
