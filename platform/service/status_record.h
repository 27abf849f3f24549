// Where a service's reported status goes besides the process: the registry
// (for QueryServiceStatus from any process) and systemd's notification
// socket. Internal to the platform library; any thread.
#pragma once

#include <string>

#include "win32/winsvc.h"

namespace wl::service {

// Writes the status under the service key's "Status" subkey; nothing when the
// service key does not exist.
void RecordStatus(const std::string& serviceName, const SERVICE_STATUS& status);

// Sends one notification datagram ("READY=1", ...) to $NOTIFY_SOCKET (a path,
// or an abstract name after "@"). False when unset or the send fails.
bool NotifySystemd(const std::string& message);

}  // namespace wl::service
