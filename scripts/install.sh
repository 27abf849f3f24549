#!/usr/bin/env bash
# Installs the trend agent (libcurvemib.so) from a build directory into an
# install root and registers it:
#   - HKLM "Software\Tarvex\Wardenline\CurrentVersion" "PathName" = install root
#   - HKLM "SOFTWARE\Tarvex\Wardenline\CurvemibAgent\CurrentVersion"
#     "Pathname" = path of libcurvemib.so
#   - HKLM "SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents":
#     the first free number (or the one already naming the agent's key) = that
#     key path, so the SNMP service loads the agent
#   - HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\VO DEDAZ":
#     "EventMessageFile" = path of libcurvemib.so, "TypesSupported" = 7
#   - the "INI" and "LOGFILES" directories and, unless one is there already, a
#     sample "INI\CURVEMIB.INI"
# The registry is the one WARDENLINE_REGISTRY names (the machine's default
# when unset). Running it again changes nothing but refreshed paths.
#
# Usage: scripts/install.sh BUILD_DIR INSTALL_ROOT
set -euo pipefail

die() {
  echo "install.sh: $*" >&2
  exit 1
}

[ $# -eq 2 ] || die "usage: $0 BUILD_DIR INSTALL_ROOT"

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -d "$1" ] || die "no build directory $1"
build_dir=$(cd "$1" && pwd)
install_root=$(realpath -m "$2")
wlreg="$build_dir/bin/wlreg"
agent_library="$build_dir/lib/libcurvemib.so"
sample_ini="$source_dir/agent/trend/sample/CURVEMIB.INI"

[ -x "$wlreg" ] || die "$wlreg not found: build the tools first"
[ -f "$agent_library" ] || die "$agent_library not found: build target curvemib first"
case "$install_root" in
  *'"'* | *$'\n'*) die "the install root may not contain quotes or newlines" ;;
esac
# The agent reads the install root into 150 bytes and the trend directory
# (install root + "\TrenFile") into 100.
[ "${#install_root}" -le 90 ] || die "install root too long (90 characters at most): $install_root"

mkdir -p "$install_root/INI" "$install_root/LOGFILES"
if [ ! -f "$install_root/INI/CURVEMIB.INI" ]; then
  cp "$sample_ini" "$install_root/INI/CURVEMIB.INI"
fi

agent_key='SOFTWARE\Tarvex\Wardenline\CurvemibAgent\CurrentVersion'
agents_list_key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents'

# Text as a quoted .reg string: backslashes and quotes escaped.
reg_string() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

# The ExtensionAgents number for the agent: the one that already names its
# key, else the smallest free one.
existing=$("$wlreg" export "$agents_list_key" 2>/dev/null || true)
agent_number=$(printf '%s\n' "$existing" | AGENT_KEY="$agent_key" awk '
  BEGIN { wanted = tolower(ENVIRON["AGENT_KEY"]) }
  match($0, /^"[0-9]+"="/) {
    number = substr($0, 2, RLENGTH - 4) + 0
    value = substr($0, RLENGTH + 1)
    sub(/"[ \t\r]*$/, "", value)
    gsub(/\\\\/, "\\", value)
    used[number] = 1
    if (tolower(value) == wanted) found = number
  }
  END {
    if (found) { print found; exit }
    for (n = 1; n in used; n++) {}
    print n
  }')

reg_file=$(mktemp "${TMPDIR:-/tmp}/wl-install-XXXXXX.reg")
trap 'rm -f "$reg_file"' EXIT
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Tarvex\Wardenline\CurrentVersion]'
  echo "\"PathName\"=$(reg_string "$install_root")"
  echo
  echo "[HKEY_LOCAL_MACHINE\\$agent_key]"
  echo "\"Pathname\"=$(reg_string "$agent_library")"
  echo
  echo "[$agents_list_key]"
  echo "\"$agent_number\"=$(reg_string "$agent_key")"
  echo
  echo '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Application\VO DEDAZ]'
  echo "\"EventMessageFile\"=$(reg_string "$agent_library")"
  echo '"TypesSupported"=dword:00000007'
} >"$reg_file"

"$wlreg" import "$reg_file" || die "registry import failed"

echo "Installed the trend agent in $install_root"
echo "  agent library:   $agent_library (SNMP extension agent $agent_number)"
echo "  configuration:   $install_root/INI/CURVEMIB.INI"
echo "  trace log:       $install_root/LOGFILES/CURVEMIB.LOG"
