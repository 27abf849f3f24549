#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: only missing packages are installed, with a single apt-get update.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-tidy libclang-rt-14-dev make pkg-config
  libsqlite3-dev sqlite3
  libnewt-dev python3-pexpect python3-pyte
  libsnmp-dev snmp snmpd snmptrapd smitools
  nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  procps iproute2
  gnuplot-nox python3
  tshark
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: all packages present"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: must run as root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# The snmpd package starts a system daemon on install; policy-rc.d keeps it from
# starting so that it never competes with the agents under test.
policy=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' > "$policy"
  chmod +x "$policy"
  created_policy=1
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}"
[ "$created_policy" -eq 1 ] && rm -f "$policy"
echo "bootstrap: done"
