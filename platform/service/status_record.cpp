#include "status_record.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "win32/registry.h"

namespace wl::service {

void RecordStatus(const std::string& serviceName, const SERVICE_STATUS& status) {
  const std::string keyPath = "SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
  HKEY service = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_CREATE_SUB_KEY, &service) !=
      ERROR_SUCCESS) {
    return;
  }
  HKEY key = nullptr;
  const LONG created = RegCreateKeyExA(service, "Status", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_SET_VALUE, nullptr, &key, nullptr);
  RegCloseKey(service);
  if (created != ERROR_SUCCESS) return;
  const struct {
    const char* name;
    DWORD value;
  } values[] = {
      {"CurrentState", status.dwCurrentState},
      {"ControlsAccepted", status.dwControlsAccepted},
      {"Win32ExitCode", status.dwWin32ExitCode},
      {"ServiceSpecificExitCode", status.dwServiceSpecificExitCode},
      {"CheckPoint", status.dwCheckPoint},
      {"WaitHint", status.dwWaitHint},
      {"ProcessId", static_cast<DWORD>(getpid())},
  };
  for (const auto& v : values) {
    RegSetValueExA(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.value),
                   sizeof v.value);
  }
  RegCloseKey(key);
}

bool NotifySystemd(const std::string& message) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path, length);
  if (path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket name
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
  const bool sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&address),
                             size) == static_cast<ssize_t>(message.size());
  ::close(fd);
  return sent;
}

}  // namespace wl::service
