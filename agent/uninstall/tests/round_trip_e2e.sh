#!/usr/bin/env bash
# Install and uninstall in a scratch tree, with services through init
# scripts: the registry export and the file listing after `echo yes |
# purgewiz ROOT/UNINST.INI` equal those taken before the install, snmpsvc
# runs again, and no file of the installation is left.
# Usage: round_trip_e2e.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/wl-roundtrip-XXXXXX")
prefix=$scratch/sys
root=$scratch/root
export WARDENLINE_SYSTEM_PREFIX=$prefix
export WARDENLINE_REGISTRY=$scratch/registry.db
export WARDENLINE_OBJECT_NAMESPACE=wlrt$$
export WARDENLINE_PURGEWIZ_SECOND_MS=20
unset XDG_CONFIG_DIRS XDG_DATA_DIRS WARDENLINE_PERFDATA WARDENLINE_CLOCK_OFFSET_FILE
wlreg=$build_dir/bin/wlreg
fail() {
  echo "round trip: $*" >&2
  exit 1
}
cleanup() {
  [ -x "$prefix/etc/init.d/mgrseek" ] && "$prefix/etc/init.d/mgrseek" stop >/dev/null 2>&1
  [ -x "$prefix/etc/init.d/snmpsvc" ] && "$prefix/etc/init.d/snmpsvc" stop >/dev/null 2>&1
  [ -n "${WL_KEEP:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT

# The machine before the install: snmpsvc with its init script, the SNMP
# service's keys, a search path, the Windows NT version, the menu directories.
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$prefix/etc/init.d" "$prefix/run" "$prefix/etc/xdg/menus/applications-merged" \
  "$prefix/usr/share/applications" "$prefix/usr/share/desktop-directories"
sed -e "s|@SNMPSVC@|$build_dir/bin/snmpsvc|" -e "s|@REGISTRY@|$WARDENLINE_REGISTRY|" \
  -e "s|@ARGS@|--agent udp:127.0.0.1:$port|" -e "s|@PIDFILE@|$prefix/run/snmpsvc.pid|" \
  -e "s|@LOG@|$scratch/snmpsvc.log|" "$source_dir/platform/snmpsvc/snmpsvc.init" \
  >"$prefix/etc/init.d/snmpsvc"
chmod +x "$prefix/etc/init.d/snmpsvc"
cat >"$scratch/machine.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="4.0"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment]
"Path"="/usr/local/bin;/usr/bin"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ValidCommunities]
"public"=dword:00000004

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents]
REG
"$wlreg" import "$scratch/machine.reg"
"$prefix/etc/init.d/snmpsvc" start
snapshot() {
  "$wlreg" export HKEY_LOCAL_MACHINE >"$1.reg"
  (cd "$scratch" && { find root sys 2>/dev/null || true; } | sort) >"$1.files"
}
snapshot "$scratch/before"

"$source_dir/scripts/install.sh" "$build_dir" "$root" --system >/dev/null
[ -f "$root/UNINST.INI" ] || fail "no UNINST.INI"
ls "$prefix/etc/xdg/menus/applications-merged/"wardenline-*.menu >/dev/null || fail "no program group"
"$prefix/etc/init.d/mgrseek" status >/dev/null || fail "mgrseek does not run"
# snmpsvc loads the agent once restarted.
"$prefix/etc/init.d/snmpsvc" restart >/dev/null
sleep 2
snmpwalk -v1 -c public -t 2 -r 1 "udp:127.0.0.1:$port" 1.3.6.1.4.1.64823.2.45 >"$scratch/walk.txt" 2>&1 || true
grep -q "64823.2.45" "$scratch/walk.txt" || fail "snmpsvc does not serve the trend agent: $(head -3 "$scratch/walk.txt")"

# No command line: nothing at all; a missing file: the error, nothing done.
[ -z "$("$root/bin/purgewiz" 2>&1 </dev/null)" ] || fail "output without a command line"
[ "$(echo yes | "$root/bin/purgewiz" "$root/NONE.INI" 2>&1)" = "Error: invalid configuration file" ] ||
  fail "no error for a missing file"
# Anything but yes changes nothing.
echo no | "$root/bin/purgewiz" "$root/UNINST.INI" 2>/dev/null
[ -f "$root/UNINST.INI" ] || fail "uninstalled without a yes"
echo yes | "$root/bin/purgewiz" "$root/UNINST.INI" 2>"$scratch/purgewiz.err" || fail "purgewiz exit status"
grep -q "has been uninstalled" "$scratch/purgewiz.err" || fail "no final message: $(cat "$scratch/purgewiz.err")"
snapshot "$scratch/after"
diff -u "$scratch/before.reg" "$scratch/after.reg" || fail "registry differs"
diff -u "$scratch/before.files" "$scratch/after.files" || fail "files differ"
"$prefix/etc/init.d/snmpsvc" status >/dev/null || fail "snmpsvc does not run after the uninstall"
snmpwalk -v1 -c public -t 2 -r 1 "udp:127.0.0.1:$port" 1.3.6.1.4.1.64823.2.45 >"$scratch/walk.txt" 2>&1 || true
grep -q "64823.2.45\." "$scratch/walk.txt" && fail "the trend agent still answers"
echo "round trip: ok"
