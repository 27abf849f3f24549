#include "service.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "access_policy.h"
#include "extension_agent.h"
#include "extension_view.h"
#include "ipx_trap_sender.h"
#include "service_config.h"
#include "service_log.h"
#include "system_group.h"
#include "trap_pump.h"
#include "win32/registry.h"
#include "win32/timeapi.h"

namespace snmpsvc {

namespace {

// sysObjectID of the service, and the enterprise of its own traps.
const Oid kServiceObjectId{1, 3, 6, 1, 4, 1, 64823, 1};
constexpr int32_t kAuthenticationFailure = 4;
// At most this many authenticationFailure traps a second.
constexpr int kAuthenticationTrapsPerSecond = 10;

// How long a start waits for a registry that another process holds locked.
constexpr auto kRegistryPatience = std::chrono::seconds(60);

std::atomic<bool> stopRequested{false};
NetAgent* runningAgent = nullptr;

// Sends traps on the agent thread to every destination of every trap
// community, reading the destinations afresh for each batch.
class TrapSender {
 public:
  explicit TrapSender(NetAgent* agent) : agent_(agent) {}

  void Send(const std::deque<TrapMessage>& traps) {
    if (traps.empty()) return;
    std::vector<TrapCommunity> communities = ReadTrapConfiguration();
    for (const TrapCommunity& community : communities) {
      for (const std::string& text : community.destinations) {
        TrapDestination destination;
        DestinationParse parsed = ParseTrapDestination(text, &destination);
        if (parsed == DestinationParse::kIpx) {
          ipx_.Send(text, community.community, traps);
          continue;
        }
        if (parsed != DestinationParse::kOk) {
          if (reported_.insert(text).second) {
            LogError("trap destination \"%s\" is not valid; skipped", text.c_str());
          }
          continue;
        }
        for (const TrapMessage& trap : traps) {
          std::string error;
          // One line when a destination starts failing and one when it works
          // again, not one per trap.
          if (!agent_->SendTrap(trap, community.community, destination, &error)) {
            if (failing_.insert(text).second)
              LogError("trap to %s: %s", text.c_str(), error.c_str());
          } else if (failing_.erase(text) != 0) {
            LogInfo("traps reach %s again", text.c_str());
          }
        }
      }
    }
  }

 private:
  NetAgent* agent_;
  IpxTrapSender ipx_;
  std::set<std::string> reported_;  // destinations that cannot be used
  std::set<std::string> failing_;   // destinations whose last send failed
};

const char* RegistryErrorText(long error) {
  switch (error) {
    case ERROR_BADDB:
      return "the registry database is damaged or not a registry database";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_REGISTRY_IO_FAILED:
      return "the registry database cannot be opened or is locked";
    case ERROR_DISK_FULL:
      return "disk full";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "not enough memory";
    case ERROR_KEY_DELETED:
      return "a key was deleted while it was read";
    default:
      return "registry error";
  }
}

// Reads the configuration; a registry that is busy (or cannot be opened) is
// tried again for kRegistryPatience. False, after logging why, when it cannot
// be read.
bool ReadConfigurationOrExplain(ServiceConfig* config) {
  const auto giveUp = std::chrono::steady_clock::now() + kRegistryPatience;
  bool waiting = false;
  for (;;) {
    std::string where;
    const long error = ReadServiceConfig(config, &where);
    if (error == ERROR_SUCCESS) {
      if (waiting) LogInfo("the registry can be read again");
      return true;
    }
    const bool transient = error == ERROR_REGISTRY_IO_FAILED || error == ERROR_KEY_DELETED;
    if (!transient || std::chrono::steady_clock::now() >= giveUp || stopRequested.load()) {
      LogError(
          "cannot read the configuration from the registry (key \"%s\"): %s (error %ld); "
          "exiting",
          where.c_str(), RegistryErrorText(error), error);
      return false;
    }
    if (!waiting) {
      LogError("cannot read the registry (key \"%s\"): %s (error %ld); retrying for up to %lld s",
               where.c_str(), RegistryErrorText(error), error,
               static_cast<long long>(kRegistryPatience.count()));
      waiting = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

}  // namespace

void RequestStop() {
  stopRequested.store(true);
  if (runningAgent != nullptr) runningAgent->Wake();
}

int RunService(const AgentOptions& options) {
  OpenServiceLog(options.foreground);
  const uint32_t timeZero = GetTickCount() / 10;
  auto upTime = [timeZero] { return GetTickCount() / 10 - timeZero; };
  ServiceConfig config;
  if (!ReadConfigurationOrExplain(&config)) return 1;

  NetAgent agent;
  std::string error;
  if (!agent.Init(options, &error)) {
    LogError("%s", error.c_str());
    return 1;
  }

  SystemGroupValues systemValues;
  systemValues.description = DescribeSystem();
  systemValues.objectId = kServiceObjectId;
  systemValues.contact = config.sysContact;
  systemValues.name = HostName();
  systemValues.location = config.sysLocation;
  systemValues.services = config.sysServices;
  SystemGroup systemGroup(systemValues, upTime);
  // Beside a master agent the system group is the master's.
  if (!options.subagent && !agent.Register(&systemGroup, &error)) {
    LogError("system group: %s", error.c_str());
  }

  std::vector<std::unique_ptr<ExtensionAgent>> extensions;
  std::vector<std::unique_ptr<ExtensionView>> views;
  for (const ExtensionEntry& entry : config.extensions) {
    if (entry.library.empty()) {
      LogError("extension agent %s: key \"%s\" has no Pathname; skipped", entry.valueName.c_str(),
               entry.keyPath.c_str());
      continue;
    }
    std::unique_ptr<ExtensionAgent> extension =
        ExtensionAgent::Load(entry.library, timeZero, &error);
    if (!extension) {
      LogError("extension agent %s: %s; skipped", entry.library.c_str(), error.c_str());
      continue;
    }
    auto view = std::make_unique<ExtensionView>(extension.get());
    if (!agent.Register(view.get(), &error)) {
      LogError("extension agent %s, view %s: %s", entry.library.c_str(),
               FormatOid(extension->View()).c_str(), error.c_str());
    } else {
      LogInfo("extension agent %s serves %s", entry.library.c_str(),
              FormatOid(extension->View()).c_str());
    }
    // A library whose view could not be registered stays loaded (its traps
    // still count) until the service stops.
    views.push_back(std::move(view));
    extensions.push_back(std::move(extension));
  }

  TrapSender sender(&agent);
  std::deque<TrapMessage> ownTraps;  // the service's own traps, agent thread only
  std::vector<std::string> unresolved;
  AccessPolicy policy(config.communities, config.permittedManagers, &unresolved);
  for (const std::string& manager : unresolved) {
    if (manager.empty()) {
      LogError("a PermittedManagers entry is empty; it admits no host");
    } else {
      LogError("permitted manager %s has no address; it admits no host", manager.c_str());
    }
  }
  if (!options.subagent) {
    auto lastSecond = std::make_shared<std::chrono::steady_clock::time_point>();
    auto sentThisSecond = std::make_shared<int>(0);
    const bool authTraps = config.authenticationTraps;
    // Queued here, inside net-snmp's packet processing, and sent after it.
    agent.SetAccessPolicy(&policy, [&ownTraps, authTraps, upTime, lastSecond, sentThisSecond] {
      if (!authTraps) return;
      auto now = std::chrono::steady_clock::now();
      if (now - *lastSecond >= std::chrono::seconds(1)) {
        *lastSecond = now;
        *sentThisSecond = 0;
      }
      if (++*sentThisSecond > kAuthenticationTrapsPerSecond) return;
      TrapMessage trap;
      trap.enterprise = kServiceObjectId;
      trap.genericTrap = kAuthenticationFailure;
      trap.timeStamp = upTime();
      ownTraps.push_back(trap);
    });
  }

  if (!agent.Open(&error)) {
    LogError("%s", error.c_str());
    extensions.clear();
    agent.Shutdown();
    return 1;
  }
  runningAgent = &agent;

  TrapPump pump;
  std::vector<ExtensionAgent*> watched;
  for (auto& extension : extensions) watched.push_back(extension.get());
  pump.Start(watched, [&agent] { agent.Wake(); });
  agent.SetWakeCallback([&pump, &sender, &ownTraps] {
    std::deque<TrapMessage> traps;
    traps.swap(ownTraps);
    for (TrapMessage& trap : pump.TakeAll()) traps.push_back(std::move(trap));
    sender.Send(traps);
  });

  LogInfo("running (%zu extension agent(s))", extensions.size());
  agent.Run([] { return !stopRequested.load(); });

  LogInfo("stopping");
  pump.Stop();
  runningAgent = nullptr;
  // dlclose runs each agent's unload sequence.
  views.clear();
  extensions.clear();
  agent.Shutdown();
  return 0;
}

}  // namespace snmpsvc
