// The service's configuration, read from the registry under HKLM
// "SYSTEM\CurrentControlSet\Services\SNMP\Parameters":
//   "ExtensionAgents"            values "1", "2", ...: a key path under HKLM whose
//                                value "Pathname" is an extension library
//   "ValidCommunities"           value name = community, REG_DWORD rights
//   "PermittedManagers"          values = host names or addresses (none: any host)
//   "TrapConfiguration\<name>"   values = trap destinations of community <name>
//   "EnableAuthenticationTraps"  REG_DWORD value of the Parameters key
//   "RFC1156Agent"               sysContact, sysLocation, sysServices
// Missing keys and values give the defaults noted below. A registry that
// cannot be read (damaged, locked, unreadable) is reported by the checked
// form of ReadServiceConfig.
// Thread safety: the functions may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace snmpsvc {

// Community rights of "ValidCommunities".
namespace rights {
constexpr uint32_t kNone = 1;
constexpr uint32_t kNotify = 2;
constexpr uint32_t kReadOnly = 4;
constexpr uint32_t kReadWrite = 8;
constexpr uint32_t kReadCreate = 16;
}  // namespace rights

extern const char kParametersKey[];

struct ExtensionEntry {
  std::string valueName;  // "1", "2", ...
  std::string keyPath;    // the key under HKLM named by the value
  std::string library;    // its "Pathname", as a host path; empty when missing
};

struct ServiceConfig {
  std::vector<ExtensionEntry> extensions;       // in the order of their numbers
  std::map<std::string, uint32_t> communities;  // community -> rights
  // Empty: any host. An empty value is kept as "" (it admits nobody).
  std::vector<std::string> permittedManagers;
  bool authenticationTraps = false;
  std::string sysContact;
  std::string sysLocation;
  uint32_t sysServices = 76;  // applications, end-to-end, internet
};

struct TrapCommunity {
  std::string community;
  std::vector<std::string> destinations;  // the value data, as written
};

// Reads everything; on the first registry error other than a missing key or
// value returns that Win32 error and names in *where the key it was reading
// (*config then holds what was read). ERROR_SUCCESS otherwise.
long ReadServiceConfig(ServiceConfig* config, std::string* where);
// The same, ignoring errors (what could be read, defaults for the rest).
ServiceConfig ReadServiceConfig();
// Read afresh on every call, so that destinations written while the service
// runs are used for the next trap.
std::vector<TrapCommunity> ReadTrapConfiguration();

// Expands %NAME% from the environment (REG_EXPAND_SZ); unknown names stay.
std::string ExpandEnvironment(const std::string& text);

}  // namespace snmpsvc
