#!/usr/bin/env bash
# Lays out a demo installation of the trend agent and the Host Resources MIB
# agent under build/demo and runs the SNMP service with both in the
# foreground, on this machine's live data:
#   - build/demo/registry.db   the registry of the demo (WARDENLINE_REGISTRY)
#   - build/demo/root          the install root (INI, LOGFILES, TrenFile)
# The agent answers on udp:127.0.0.1:16161 (WL_DEMO_PORT) and sends its traps to
# udp:127.0.0.1:16162 (WL_DEMO_TRAP_PORT). Beside it the manager discovery
# service (mgrseek) runs in the foreground on IPX carried in UDP port 16213
# (WL_DEMO_IPX_PORT) of 127.0.0.1, and a console played by wlipx on
# 127.0.0.2 can advertise itself to it. Every run starts from a fresh
# installation. Stop it with Ctrl-C.
#
# Usage: scripts/demo.sh [BUILD_DIR]   (default build/default)
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build/default}")
demo_dir=$source_dir/build/demo
port=${WL_DEMO_PORT:-16161}
trap_port=${WL_DEMO_TRAP_PORT:-16162}
ipx_port=${WL_DEMO_IPX_PORT:-16213}

die() {
  echo "demo.sh: $*" >&2
  exit 1
}

[ -d "$build_dir" ] || die "no build directory $build_dir: run 'make build' first"
cmake --build "$build_dir" --target snmpsvc curvemib hostmib wlreg wltrend mgrseek wlipx >/dev/null ||
  die "the build of snmpsvc, curvemib, hostmib, wlreg, wltrend, mgrseek and wlipx failed"
snmpsvc=$build_dir/bin/snmpsvc
wlreg=$build_dir/bin/wlreg
wlipx=$build_dir/bin/wlipx
[ -x "$snmpsvc" ] || die "$snmpsvc not found"

rm -rf "$demo_dir"
mkdir -p "$demo_dir"
export WARDENLINE_REGISTRY=$demo_dir/registry.db
# The demo runs on the live data and the real clock.
unset WARDENLINE_PERFDATA WARDENLINE_CLOCK_OFFSET_FILE

root=$demo_dir/root
"$source_dir/scripts/install.sh" "$build_dir" "$root" >/dev/null

# Short intervals, so that the histories grow while one watches:
# 1 = 5 s, 2 = 10 s, 3 = 15 s.
cat >"$root/INI/CURVEMIB.INI" <<'EOF'
# Demo controls of the trend agent (see agent/trend/sample/CURVEMIB.INI).
#  class                    interval buckets history rising falling threshold type
pctMemoryAvailableKBytes    2        120     1       90     10      1         falling
pctProcessorTime            1        120     1       90     10      1         rising
pctLogicalDiskFreeSpace     3        120     1       95     5       1         falling
physIfInPackets             1        120     1       1000   10      1         rising
[TrendFiles]
EOF

parameters='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters'
"$wlreg" set "$parameters\\ValidCommunities" public REG_DWORD 4
"$wlreg" set "$parameters\\ValidCommunities" private REG_DWORD 8
"$wlreg" set "$parameters\\TrapConfiguration\\public" 1 REG_SZ "127.0.0.1:$trap_port"
# This host's IPX: UDP port and address.
ipx='HKLM\SYSTEM\CurrentControlSet\Services\NwlnkIpx\Parameters'
"$wlreg" set "$ipx" UdpPort REG_DWORD "$ipx_port"
"$wlreg" set "$ipx" BindAddress REG_SZ 127.0.0.1

mibs="-M +$source_dir/mibs:$source_dir/mibs/base -m WARDENLINE-TREND-MIB"
agent=udp:127.0.0.1:$port
# Object names of the Host Resources MIB where its module is in the tree.
host_mibs=
if [ -f "$source_dir/mibs/base/HOST-RESOURCES-MIB" ] || [ -f "$source_dir/mibs/base/HOST-RESOURCES-MIB.txt" ]; then
  host_mibs="-M +$source_dir/mibs:$source_dir/mibs/base -m HOST-RESOURCES-MIB:HOST-RESOURCES-TYPES "
fi
cat <<EOF

The trend agent and the Host Resources MIB agent run on $agent; the trend
agent's trace log is $root/LOGFILES/CURVEMIB.LOG.
In another terminal:

  # The control table (one row per control: class, number, instance, ...)
  snmpwalk -v1 -c public $mibs $agent trendControlTable

  # The history of control 1, the available memory in % (oldest sample first)
  snmpwalk -v1 -c public $mibs $agent trendHistoryValue.1

  # The Host Resources MIB of this machine: system, storage, devices,
  # partitions, file systems, processes and installed packages
  # (libhostmib.so; tables older than 5 s are rebuilt when asked)
  snmpwalk -v2c -c public $host_mibs$agent 1.3.6.1.2.1.25
  snmpbulkwalk -v2c -c public $host_mibs$agent 1.3.6.1.2.1.25.2.3

  # Watch the threshold traps
  snmptrapd -f -Lo -C --disableAuthorization=yes $mibs udp:127.0.0.1:$trap_port

  # Set the falling threshold of control 1 (class 8, available memory) to
  # 100 %: its next sample, within 10 seconds, raises a trap
  snmpset -v1 -c private $mibs $agent trendControlFallingThreshold.8.1 i 100

  # Sample control 1 every 5 seconds instead (restarts its history)
  snmpset -v1 -c private $mibs $agent trendControlInterval.8.1 i 1

  # The controls, and the chart of control 1 (available memory) with its
  # thresholds, drawn in the terminal (--svg FILE or --png FILE for a file)
  $build_dir/bin/wltrend list $agent
  $build_dir/bin/wltrend plot $agent 1

The manager discovery service (mgrseek) listens on IPX in UDP port $ipx_port of
127.0.0.1. A management console on the IPX host 127.0.0.2:

  # Receive the traps that reach the console over IPX
  WARDENLINE_REGISTRY=$WARDENLINE_REGISTRY $wlipx traps --bind 127.0.0.2 --port $ipx_port

  # Advertise the console: within a minute it is a trap destination
  WARDENLINE_REGISTRY=$WARDENLINE_REGISTRY $wlipx advertise --bind 127.0.0.2 --to 127.0.0.1 --port $ipx_port
  WARDENLINE_REGISTRY=$WARDENLINE_REGISTRY $wlreg query '$parameters\TrapConfiguration\public'

EOF

# mgrseek in the foreground beside the SNMP service; Ctrl-C stops both.
"$build_dir/bin/mgrseek" -f &
mgrseek_pid=$!
trap 'kill "$mgrseek_pid" 2>/dev/null; wait "$mgrseek_pid" 2>/dev/null' EXIT
"$snmpsvc" -f --agent "$agent"
