#!/usr/bin/env bash
# Registry enumeration cost: imports VALUES values into one key (and the same
# number of subkeys under another) with wlreg, then times `wlreg export` of
# each, in a registry of its own.
#
# usage: bench/registry/export.sh [BUILD_DIR] [VALUES]
#   BUILD_DIR  a build with bin/wlreg (default build/default)
#   VALUES     values, and subkeys, to export (default 100000)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
count=${2:-100000}
wlreg="$build/bin/wlreg"
[ -x "$wlreg" ] || { echo "missing $wlreg: build the default preset first" >&2; exit 1; }

work=$(mktemp -d /tmp/registry_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
export WARDENLINE_REGISTRY="$work/registry.db"

awk -v n="$count" 'BEGIN {
  print "Windows Registry Editor Version 5.00\n"
  print "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Values]"
  for (i = 0; i < n; i++) printf "\"value%06d\"=dword:%08x\n", i, i
  print ""
  for (i = 0; i < n; i++) printf "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Keys\\key%06d]\n", i
}' > "$work/input.reg"

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

start=$(seconds)
"$wlreg" import "$work/input.reg"
imported=$(seconds)
"$wlreg" export 'HKLM\SOFTWARE\Bench\Values' > "$work/values.reg"
values=$(seconds)
"$wlreg" export 'HKLM\SOFTWARE\Bench\Keys' > "$work/keys.reg"
keys=$(seconds)

lines=$(grep -c '^"value' "$work/values.reg")
sections=$(grep -c '^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Keys\\key' "$work/keys.reg")
[ "$lines" -eq "$count" ] && [ "$sections" -eq "$count" ] ||
  { echo "export incomplete: $lines values, $sections subkeys" >&2; exit 1; }
echo "import of $count values and $count subkeys: $(elapsed "$start" "$imported") s"
echo "export of $count values of one key: $(elapsed "$imported" "$values") s"
echo "export of $count subkeys of one key: $(elapsed "$values" "$keys") s"
