#!/usr/bin/env bash
# Checks the MIB modules under mibs/: smilint at level 4 must say nothing
# about them, and net-snmp must load them and resolve a few names to the
# numbers they stand for.
#
# The stand-ins of the SMIv2 base modules (mibs/base/SNMPv2-*) are only read
# as imports. The Host Resources modules register their MODULE-IDENTITY under
# 1.3.6.1.2.1.25.7, below mib-2's direct children, which smilint reports as
# "uncontrolled"; the numbers are the standard's, so that one warning is
# not counted.
#
# usage: scripts/lint_mibs.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
command -v smilint > /dev/null || { echo "lint_mibs: smilint is not installed (smitools)" >&2; exit 1; }
command -v snmptranslate > /dev/null || { echo "lint_mibs: snmptranslate is not installed (snmp)" >&2; exit 1; }

failed=0
modules=("$root/mibs/WARDENLINE-TREND-MIB.txt" "$root/mibs/base/IF-MIB"
  "$root/mibs/base/HOST-RESOURCES-MIB" "$root/mibs/base/HOST-RESOURCES-TYPES")
for module in "${modules[@]}"; do
  out=$(SMIPATH="$root/mibs:$root/mibs/base" smilint -l 4 -m -i module-identity-registration "$module" 2>&1) || true
  if [ -n "$out" ]; then
    echo "lint_mibs: smilint on ${module#"$root"/}:" >&2
    echo "$out" >&2
    failed=1
  fi
done

# name -> number, with nothing but these modules loaded
expected=(
  HOST-RESOURCES-MIB::hrSystemMaxProcesses .1.3.6.1.2.1.25.1.7
  HOST-RESOURCES-MIB::hrStorageAllocationFailures .1.3.6.1.2.1.25.2.3.1.7
  HOST-RESOURCES-MIB::hrPartitionFSIndex .1.3.6.1.2.1.25.3.7.1.5
  HOST-RESOURCES-MIB::hrFSLastPartialBackupDate .1.3.6.1.2.1.25.3.8.1.9
  HOST-RESOURCES-MIB::hrSWRunPerfMem .1.3.6.1.2.1.25.5.1.1.2
  HOST-RESOURCES-MIB::hrSWInstalledDate .1.3.6.1.2.1.25.6.3.1.5
  HOST-RESOURCES-MIB::hrMIBCompliance .1.3.6.1.2.1.25.7.2.1
  HOST-RESOURCES-TYPES::hrStorageNetworkDisk .1.3.6.1.2.1.25.2.1.10
  HOST-RESOURCES-TYPES::hrDeviceNonVolatileMemory .1.3.6.1.2.1.25.3.1.21
  HOST-RESOURCES-TYPES::hrFSLinuxExt2 .1.3.6.1.2.1.25.3.9.23
  WARDENLINE-TREND-MIB::trendMIB .1.3.6.1.4.1.64823.2.45
)
for ((i = 0; i < ${#expected[@]}; i += 2)); do
  got=$(MIBS= MIBDIRS="$root/mibs:$root/mibs/base" \
    snmptranslate -m HOST-RESOURCES-MIB:HOST-RESOURCES-TYPES:WARDENLINE-TREND-MIB -On "${expected[i]}" 2>&1) || true
  if [ "$got" != "${expected[i + 1]}" ]; then
    echo "lint_mibs: snmptranslate ${expected[i]}: wanted ${expected[i + 1]}, got: $got" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1
echo "lint_mibs: ${#modules[@]} modules clean, $((${#expected[@]} / 2)) names resolved"
