#!/usr/bin/env bash
# Installs the trend agent (libcurvemib.so) and, when built, the Host Resources
# MIB agent (libhostmib.so) from a build directory into an install root and
# registers them:
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
#   - for libhostmib.so: HKLM
#     "SOFTWARE\Tarvex\Wardenline\HostmibAgent\CurrentVersion" "Pathname" = its
#     path and "RefreshSeconds" = 5 (unless set already), and its own number
#     under "ExtensionAgents"
#   - the MIB modules of mibs/ (with the base stand-ins) in "MIBS"
# The registry is the one WARDENLINE_REGISTRY names (the machine's default
# when unset). Running it again changes nothing but refreshed paths.
#
# When the manager discovery service (bin/mgrseek) is built, it is registered
# too:
#   - HKLM "SYSTEM\CurrentControlSet\Services\MGRSEEK": Type, Start,
#     ErrorControl, ImagePath, DisplayName, ObjectName
#   - "INI\MGRSEEK.INI" (its exclusions), unless one is there already
#   - "service/mgrseek.service" (systemd unit) and "service/mgrseek.init" (init
#     script) under the install root, with this installation's paths
# and with --system (as root) the unit or, without systemd, the init script is
# installed on this machine and the service started.
#
# Then the bin directory (with the uninstaller purgewiz) goes on the search
# path (HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
# "Path", in front; "ImagePath" of the agent's key is the install root), with
# --system the program group "Wardenline Agent" is made in the desktop menu,
# and "UNINST.INI" in the install root lists what the installation added for
# purgewiz (docs/uninstall.md). Everything outside the install root goes under
# WARDENLINE_SYSTEM_PREFIX (default "/").
#
# Usage: scripts/install.sh BUILD_DIR INSTALL_ROOT [--system]
set -euo pipefail

die() {
  echo "install.sh: $*" >&2
  exit 1
}

system_install=0
if [ $# -eq 3 ] && [ "$3" = --system ]; then
  system_install=1
  set -- "$1" "$2"
fi
[ $# -eq 2 ] || die "usage: $0 BUILD_DIR INSTALL_ROOT [--system]"
# Everything installed outside the install root goes under this prefix.
system_prefix=$(realpath -m "${WARDENLINE_SYSTEM_PREFIX:-/}")
mgrseek_service=0

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -d "$1" ] || die "no build directory $1"
build_dir=$(cd "$1" && pwd)
install_root=$(realpath -m "$2")
wlreg="$build_dir/bin/wlreg"
agent_library="$build_dir/lib/libcurvemib.so"
sample_ini="$source_dir/agent/trend/sample/CURVEMIB.INI"

[ -x "$wlreg" ] || die "$wlreg not found: build the tools first"
# What the registry holds before this installation, so that UNINST.INI lists
# only what the installation adds.
key_exists() { "$wlreg" query "$1" >/dev/null 2>&1; }
had_agents_key=0
key_exists 'HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents' && had_agents_key=1
had_environment_key=0
key_exists 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' && had_environment_key=1
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

# The ExtensionAgents number for an agent key: the one that already names it,
# else the smallest free one (numbers listed in the second argument count as
# taken).
agent_number_for() {
  { "$wlreg" export "$agents_list_key" 2>/dev/null || true; } | AGENT_KEY="$1" USED="${2:-}" awk '
  BEGIN {
    wanted = tolower(ENVIRON["AGENT_KEY"])
    n = split(ENVIRON["USED"], taken, " ")
    for (i = 1; i <= n; i++) used[taken[i] + 0] = 1
  }
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
  }'
}
agent_number=$(agent_number_for "$agent_key")

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

# The MIB modules the agents answer for, with the stand-ins of the base
# modules they import, for net-snmp's tools:
#   snmpwalk -M +$install_root/MIBS -m +HOST-RESOURCES-MIB ...
mkdir -p "$install_root/MIBS"
mib_files=()
for mib in "$source_dir"/mibs/*.txt "$source_dir"/mibs/base/*; do
  [ -f "$mib" ] || continue
  cp "$mib" "$install_root/MIBS/"
  mib_files+=("MIBS/$(basename "$mib")")
done
echo "  MIB modules:     $install_root/MIBS (snmpwalk -M +$install_root/MIBS -m +HOST-RESOURCES-MIB ...)"

# The Host Resources MIB agent, when built.
hostmib_library="$build_dir/lib/libhostmib.so"
hostmib_key='SOFTWARE\Tarvex\Wardenline\HostmibAgent\CurrentVersion'
hostmib_installed=0
if [ -f "$hostmib_library" ]; then
  hostmib_number=$(agent_number_for "$hostmib_key" "$agent_number")
  {
    echo 'REGEDIT4'
    echo
    echo "[HKEY_LOCAL_MACHINE\\$hostmib_key]"
    echo "\"Pathname\"=$(reg_string "$hostmib_library")"
    if ! "$wlreg" query "HKLM\\$hostmib_key" 2>/dev/null | grep -qi refreshseconds; then
      echo '"RefreshSeconds"=dword:00000005'
    fi
    echo
    echo "[$agents_list_key]"
    echo "\"$hostmib_number\"=$(reg_string "$hostmib_key")"
  } >"$reg_file"
  "$wlreg" import "$reg_file" || die "registry import of the Host Resources MIB agent failed"
  hostmib_installed=1
  echo "  host resources:  $hostmib_library (SNMP extension agent $hostmib_number, 1.3.6.1.2.1.25)"
fi

# The manager discovery service, when built.
mgrseek="$build_dir/bin/mgrseek"
if [ -x "$mgrseek" ]; then
  registry_path=${WARDENLINE_REGISTRY:-/var/lib/wardenline/registry.db}
  registry_path=$(realpath -m "$registry_path")
  if [ ! -f "$install_root/INI/MGRSEEK.INI" ]; then
    cat >"$install_root/INI/MGRSEEK.INI" <<'EOF'
# Consoles that never become trap destinations, one a line as
# NNNNNNNN.HHHHHHHHHHHH (IPX network and node number in hexadecimal).
EOF
  fi
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\MGRSEEK]'
    echo '"Type"=dword:00000010'
    echo '"Start"=dword:00000002'
    echo '"ErrorControl"=dword:00000001'
    echo "\"ImagePath\"=$(reg_string "$mgrseek")"
    echo '"DisplayName"="MGRSEEK"'
    echo '"ObjectName"="LocalSystem"'
  } >"$reg_file"
  "$wlreg" import "$reg_file" || die "registry import of the service MGRSEEK failed"
  mgrseek_service=1

  # The unit and the init script with this installation's paths.
  mkdir -p "$install_root/service"
  sed_paths=(-e "s|@MGRSEEK@|$mgrseek|g" -e "s|@REGISTRY@|$registry_path|g"
    -e "s|@LOG@|$install_root/LOGFILES/MGRSEEK.LOG|g" -e "s|@DOCS@|$source_dir/docs|g")
  sed "${sed_paths[@]}" "$source_dir/agent/mgrseek/mgrseek.service" >"$install_root/service/mgrseek.service"
  sed "${sed_paths[@]}" "$source_dir/agent/mgrseek/mgrseek.init" >"$install_root/service/mgrseek.init"
  chmod +x "$install_root/service/mgrseek.init"
  echo "  discovery service: $mgrseek (service MGRSEEK; unit and init script in $install_root/service)"

  if [ "$system_install" -eq 1 ]; then
    [ "$(id -u)" -eq 0 ] || die "--system must run as root"
    if [ -d /run/systemd/system ] && [ "$system_prefix" = / ]; then
      cp "$install_root/service/mgrseek.service" /etc/systemd/system/mgrseek.service
      systemctl daemon-reload
      systemctl enable --now mgrseek.service
      echo "  started with systemd (systemctl status mgrseek)"
    else
      init_dir="${system_prefix%/}/etc/init.d"
      mkdir -p "$init_dir" "${system_prefix%/}/run"
      sed "s|/run/mgrseek.pid|${system_prefix%/}/run/mgrseek.pid|" \
        "$install_root/service/mgrseek.init" >"$init_dir/mgrseek"
      chmod +x "$init_dir/mgrseek"
      if [ "$system_prefix" = / ] && command -v update-rc.d >/dev/null; then
        update-rc.d mgrseek defaults >/dev/null
      fi
      "$init_dir/mgrseek" start
      echo "  started with $init_dir/mgrseek (its messages: $install_root/LOGFILES/MGRSEEK.LOG)"
    fi
  fi
fi

# The rest of a whole installation: the bin directory on the search path, the
# uninstaller, the program group, and the uninstall configuration file that
# lists what this installation added ("UNINST.INI", read by purgewiz).
# The uninstaller holds the install root in 128 bytes and the bin directory
# (install root + "\bin") in 64.
[ "${#install_root}" -le 59 ] ||
  echo "install.sh: warning: install root over 59 characters: purgewiz will leave the search path as it is" >&2
mkdir -p "$install_root/bin"
purgewiz="$build_dir/bin/purgewiz"
wlprogman="$build_dir/bin/wlprogman"
[ -x "$purgewiz" ] && cp "$purgewiz" "$install_root/bin/purgewiz"

environment_key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
bin_entry="$install_root\\bin"
old_path=$({ "$wlreg" export "$environment_key" 2>/dev/null || true; } | awk '
  tolower($0) ~ /^"path"="/ { v = substr($0, 9); sub(/"[ \t\r]*$/, "", v); gsub(/\\\\/, "\\", v); print v }')
case ";$old_path;" in
  *";$bin_entry;"*) new_path=$old_path ;;
  *) new_path="$bin_entry${old_path:+;$old_path}" ;;
esac
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Wardenline\CurrentVersion]'
  echo "\"ImagePath\"=$(reg_string "$install_root")"
  echo
  echo "[$environment_key]"
  echo "\"Path\"=$(reg_string "$new_path")"
} >"$reg_file"
"$wlreg" import "$reg_file" || die "registry import of the search path failed"

group='Wardenline Agent'
items=('Trace Log' 'Configuration' 'Uninstall')
# The menu files lie outside the install root: only with --system, as the
# service's unit and script. UNINST.INI names the group either way (deleting a
# group that is not there does no harm).
if [ "$system_install" -eq 1 ] && [ -x "$wlprogman" ]; then
  "$wlprogman" "[CreateGroup($group)][AddItem(xdg-open $install_root/LOGFILES/CURVEMIB.LOG,Trace Log)][AddItem(xdg-open $install_root/INI/CURVEMIB.INI,Configuration)][AddItem($install_root/bin/purgewiz $install_root/UNINST.INI,Uninstall)]" ||
    die "the program group could not be created"
fi

# What the installation added, for purgewiz. Files outside the install root
# (the service's unit or init script, the menu files) go with the service and
# the program group.
uninst="$install_root/UNINST.INI"
{
  echo '[Program Group]'
  echo "Name=$group"
  echo "Count=${#items[@]}"
  for i in "${!items[@]}"; do echo "$((i + 1))=${items[$i]}"; done
  echo
  echo '[Service]'
  if [ "$mgrseek_service" -eq 1 ] && [ "$system_install" -eq 1 ]; then
    echo 'Count=1'
    echo '1=MGRSEEK'
  else
    echo 'Count=0'
  fi
  echo
  echo '[Registry]'
  # Handled from the highest number down: a value before its key.
  entries=(
    '_key=SOFTWARE\Tarvex\Wardenline\CurrentVersion'
    '_key=SOFTWARE\Tarvex\Wardenline\CurvemibAgent\CurrentVersion'
    '_key=SYSTEM\CurrentControlSet\Services\EventLog\Application\VO DEDAZ')
  agents='SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents'
  environment='SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
  [ "$had_agents_key" -eq 0 ] && entries+=("_key=$agents")
  entries+=("_key=$agents|_valuedata=$agent_key")
  if [ "$hostmib_installed" -eq 1 ]; then
    entries+=("_key=$hostmib_key" "_key=$agents|_valuedata=$hostmib_key")
  fi
  [ "$had_environment_key" -eq 0 ] && entries+=("_key=$environment")
  [ -z "$old_path" ] && entries+=("_key=$environment|_valuename=Path")
  if [ "$mgrseek_service" -eq 1 ] && [ "$system_install" -eq 0 ]; then
    entries+=('_key=SYSTEM\CurrentControlSet\Services\MGRSEEK')
  fi
  echo "Count=${#entries[@]}"
  for i in "${!entries[@]}"; do
    IFS='|' read -r -a parts <<<"${entries[$i]}"
    for part in "${parts[@]}"; do echo "$((i + 1))$part"; done
  done
  echo
  echo '[Files]'
  files=()
  for f in INI/CURVEMIB.INI INI/MGRSEEK.INI service/mgrseek.service service/mgrseek.init bin/purgewiz \
    "${mib_files[@]}"; do
    [ -e "$install_root/$f" ] && files+=("$install_root/$f")
  done
  files+=("$uninst")
  echo "Count=${#files[@]}"
  for i in "${!files[@]}"; do echo "$((i + 1))=${files[$i]}"; done
} >"$uninst"
echo "  uninstall:       $install_root/bin/purgewiz $uninst (or: echo yes | purgewiz $uninst)"
