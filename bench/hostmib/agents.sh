# Sourced by the scripts of bench/hostmib: starts the agents they compare,
# each on a loopback port, with everything it writes under $work (which the
# caller makes and removes) and its process number in pids (which the caller
# ends). Needs bench/common.sh sourced first (free_port).

# net-snmp's snmpd with its own HOST-RESOURCES-MIB, read-only community
# public, its own configuration and persistent directory only.
start_snmpd() { # NAME PORT
  mkdir -p "$work/$1"
  printf 'rocommunity public 127.0.0.1\n' > "$work/$1/snmpd.conf"
  MIBS= SNMP_PERSISTENT_DIR=$work/$1 /usr/sbin/snmpd -f -Lf "$work/$1/snmpd.log" -C \
    -c "$work/$1/snmpd.conf" -p "$work/$1/snmpd.pid" "udp:127.0.0.1:$2" &
  pids+=($!)
  agent_pid=$!
}

# snmpsvc of BUILD with the agents scripts/install.sh registers (the trend
# agent and the Host Resources agent), community public, in a registry of
# its own; with $refresh_seconds set, the Host Resources agent rebuilds a
# table family whose data is older than that. Its output goes to
# $work/snmpsvc.log.
start_ours() { # BUILD PORT
  (
    export WARDENLINE_REGISTRY=$work/registry.db SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work
    "$root/scripts/install.sh" "$1" "$work/root" > /dev/null
    "$1/bin/wlreg" set 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities' \
      public REG_DWORD 4
    if [ -n "${refresh_seconds:-}" ]; then
      "$1/bin/wlreg" set 'HKLM\SOFTWARE\Tarvex\Wardenline\HostmibAgent\CurrentVersion' \
        RefreshSeconds REG_DWORD "$refresh_seconds"
    fi
  )
  WARDENLINE_REGISTRY=$work/registry.db WARDENLINE_OBJECT_NAMESPACE=hostmib-bench-$$ \
    SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work \
    "$1/bin/snmpsvc" -f --agent "udp:127.0.0.1:$2" > "$work/snmpsvc.log" 2>&1 &
  pids+=($!)
  agent_pid=$!
}

check_ours_built() { # BUILD
  local tool
  for tool in "$1/bin/snmpsvc" "$1/bin/wlreg" "$1/lib/libcurvemib.so" "$1/lib/libhostmib.so"; do
    [ -e "$tool" ] || { echo "missing $tool: build snmpsvc, wlreg, curvemib and hostmib first" >&2; exit 1; }
  done
}

# Waits until the agent on PORT answers in 1.3.6.1.2.1.25; else prints the
# end of its LOG and ends the script.
wait_ready() { # PORT [LOG]
  for _ in $(seq 300); do
    MIBS= snmpgetnext -v2c -c public -On -t 1 -r 0 "127.0.0.1:$1" .1.3.6.1.2.1.25 2> /dev/null |
      grep -q '^\.1\.3\.6\.1\.2\.1\.25\.' && return 0
    sleep 0.05
  done
  echo "the agent on port $1 does not answer 1.3.6.1.2.1.25" >&2
  [ -n "${2:-}" ] && grep -v '^Connection from' "$2" 2> /dev/null | tail -20 >&2
  exit 1
}
