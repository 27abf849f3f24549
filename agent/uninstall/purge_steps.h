// The uninstaller's work, one procedure per step of the progress window,
// over the global state below. Every text read from the configuration file
// or the registry is cut to its buffer's limit. Messages go through
// MessageBoxA. One thread.
#pragma once

#include <string>

namespace purgewiz {

struct PurgeState {
  std::string configFile;    // the whole command line, at most 259 bytes
  std::string installRoot;   // "Pathname", at most 127 bytes; "" when missing
  double ntVersion = 0;      // "CurrentVersion" of Windows NT; 0 when unreadable
  unsigned secondMs = 1000;  // length of one second of the fixed waits
  std::string dpkgInfoDir = "/var/lib/dpkg/info";
  unsigned serviceStopSeconds = 60;  // longest wait for a service to stop
};

extern PurgeState purgeState;

// The largest count honoured for any section; higher counts are cut to it.
constexpr int kMaxCount = 1000;

// Reads a count as the profile function does: blanks, a sign, digits.
int readCount(const char* section, const char* key);

// Step 1: false when the agent's key cannot be opened (message shown).
bool findAgent();
// Step 2: false when the group name is empty or a command cannot be sent.
bool deleteProgramGroup();
// Step 3: deletes the services in order until one fails; the number deleted.
int deleteServices();
// Step 4: the search path, then the registry entries from the last down.
void deleteRegistry();
// Step 5: false when the SNMP service could not be started.
bool restartSnmp();
// Step 6: the listed files and the install root's tree.
void deleteFiles();

// Pieces of step 4, for the tests.
bool removeBinFromSearchPath();
void deleteRegistryEntry(int number);

}  // namespace purgewiz
