// Reading "CURVEMIB.INI" into configList and creating controls from its lines.
#include "agent/trend/configuration.h"

#include <climits>
#include <cstring>
#include <new>

#include "agent/trend/agent_state.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"
#include "agent/trend/perf_acquisition.h"
#include "agent/trend/sampling.h"
#include "win32/windows.h"

namespace trend {

namespace {

constexpr int kWordCount = 8;
// Widths of the eight words of a control line.
constexpr size_t kWordWidths[kWordCount] = {31, 15, 15, 11, 15, 15, 11, 15};
constexpr DWORD kLogicalDiskClass = 15;
constexpr int kNoClass = -1;

const char kNoMemoryMessage[] =
    "CURVEMIB Error: failed to allocate memory from the operating system.\r\n";

// Reads the next piece of a text file as the system's text mode gives it: a
// carriage return before a line feed is dropped and Ctrl-Z ends the file. A
// piece ends after a newline or at kConfigurationPieceChars characters.
bool readPiece(FILE* file, char* piece) {
  int length = 0;
  while (length < kConfigurationPieceChars) {
    int c = fgetc(file);
    if (c == EOF || c == 0x1A) break;
    if (c == '\r') {
      int following = fgetc(file);
      if (following == '\n') {
        c = '\n';
      } else if (following != EOF) {
        ungetc(following, file);
      }
    }
    piece[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  piece[length] = '\0';
  return length > 0;
}

// Splits a line into up to eight words separated by spaces; a word ends at a
// space, a newline or the end, and is cut to its width.
void splitWords(const char* line, char words[kWordCount][32]) {
  const char* p = line;
  for (int w = 0; w < kWordCount; ++w) {
    words[w][0] = '\0';
    while (*p == ' ') ++p;
    size_t length = 0;
    while (*p != '\0' && *p != ' ' && *p != '\n') {
      if (length < kWordWidths[w]) words[w][length++] = *p;
      ++p;
    }
    words[w][length] = '\0';
  }
}

// Decimal conversion: leading spaces, an optional sign, digits up to the first
// other character; no digits gives 0. Out-of-range values saturate.
LONG decimalValue(const char* text) {
  while (*text == ' ') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<LONG>(value);
}

// Class number 0..22 of an exact, case-sensitive name; -1 when none.
int classNumberOf(const char* name) {
  for (int id = 0; id <= static_cast<int>(kNumClasses); ++id) {
    if (std::strcmp(className(static_cast<DWORD>(id)), name) == 0) return id;
  }
  return kNoClass;
}

void appendConfig(ControlConfig* config) {
  ControlConfig** link = &configList;
  while (*link != nullptr) link = &(*link)->next;
  *link = config;
}

// The identity of a new control, as isDuplicate compares it.
void initialiseControl(Control* control, const ControlConfig* config, const char* instanceText) {
  *control = Control();
  control->controlStatus = kControlValid;
  control->classId = config->classId;
  size_t length = instanceText == nullptr ? 0 : strnlen(instanceText, kMaxInstanceNameLength);
  std::memcpy(control->instanceName, instanceText == nullptr ? "" : instanceText, length);
  control->instanceName[length] = '\0';
  control->instanceNameLength = static_cast<DWORD>(length);
  control->headerSaved = false;
  control->invalidValue = -1;
  control->intervalIndex = config->intervalIndex;
  noteIntervalInUse(control->intervalIndex);
}

// The line's remaining settings, applied after the duplicate test.
void applyLineSettings(Control* control, const ControlConfig* config) {
  control->bucketsRequested = config->buckets;
  control->bucketsGranted = config->buckets;
  control->historyStatus = config->historyStatus == kStatusOn ? kStatusOn : kStatusOff;
  control->valueType = kValueAbsolute;
  control->lastSampleValue = -1;
  control->refTimeStamp = 0;
  control->lastCheckedValue = -1;
  control->lastCheckedTime = 0;
  control->risingThreshold = config->risingThreshold;
  control->fallingThreshold = config->fallingThreshold;
  control->thresholdStatus = config->thresholdStatus == kStatusOn ? kStatusOn : kStatusOff;
  const bool rising =
      std::strncmp(config->thresholdTypeText, "rising", sizeof config->thresholdTypeText) == 0;
  control->thresholdType = rising ? kThresholdRising : kThresholdFalling;
}

// Class settings of a multi-instance control; false when the instance gets no
// control (a logical disk without a drive letter).
bool applyInstanceClassSettings(Control* control) {
  control->valueType = classValueType(control->classId);
  if (control->classId == kLogicalDiskClass) {
    if (std::strchr(control->instanceName, ':') == nullptr) return false;
    control->diskSizeMB = logicalDiskSizeMB(control->instanceName);
  }
  return true;
}

}  // namespace

std::string configurationFilePath() { return installPath + "\\INI\\CURVEMIB.INI"; }

int parseConfigurationLine(const char* piece) {
  char line[kConfigurationPieceChars + 1];
  size_t length = strnlen(piece, kConfigurationPieceChars);
  std::memcpy(line, piece, length);
  line[length] = '\0';
  if (line[0] == '#' || line[0] == '\n' || line[0] == '\0') return 0;

  char words[kWordCount][32];
  splitWords(line, words);
  int classId = classNumberOf(words[0]);
  if (classId < 0) return 0;
  traceLog("record - %s\n", words[0]);

  ControlConfig parsed;
  parsed.classId = static_cast<DWORD>(classId);
  parsed.intervalIndex = static_cast<DWORD>(decimalValue(words[1]));
  LONG buckets = decimalValue(words[2]);
  parsed.buckets = static_cast<DWORD>(buckets);
  parsed.historyStatus = decimalValue(words[3]);
  parsed.risingThreshold = static_cast<DWORD>(decimalValue(words[4]));
  parsed.fallingThreshold = static_cast<DWORD>(decimalValue(words[5]));
  parsed.thresholdStatus = decimalValue(words[6]);
  std::memcpy(parsed.thresholdTypeText, words[7], sizeof parsed.thresholdTypeText - 1);

  // An interval outside the table or a ring of fewer than two buckets cannot
  // be sampled or kept; such a line creates nothing.
  if (intervalSeconds(parsed.intervalIndex) == 0 || buckets < 2) {
    if (length > 0 && line[length - 1] == '\n') line[length - 1] = '\0';
    consoleMessage("Ignoring invalid entry %s in the CURVEMIB.INI file.\r\n", line);
    return 0;
  }

  ControlConfig* config = new (std::nothrow) ControlConfig(parsed);
  if (config == nullptr) {
    quietMessage("%s", kNoMemoryMessage);
    return 1;
  }
  appendConfig(config);
  return 0;
}

int readConfiguration() {
  std::string path = configurationFilePath();
  FILE* file = wl_fopen(path.c_str(), "rb");
  if (file == nullptr) {
    traceLog("fopen(ntrend.ini) failed.\n");
    consoleMessage("CURVEMIB Error: unable to open the file - %s.\r\n", path.c_str());
    reportEvent(kEventNoIniFile, kEventTypeError);
    return 1;
  }
  char piece[kConfigurationPieceChars + 1];
  int result = 0;
  while (result == 0 && readPiece(file, piece)) result = parseConfigurationLine(piece);
  fclose(file);
  return result;
}

int createControlsFromConfiguration() {
  refreshPerformanceData();
  for (const ControlConfig* config = configList; config != nullptr; config = config->next) {
    create_this_control(config);
  }
  return 0;
}

int create_this_control(const ControlConfig* config) {
  const char* name = className(config->classId);
  traceLog("control %s\n", name);
  if (classIsMultiInstance(config->classId)) return create_multiple_inst_control(config);

  Control* control = new (std::nothrow) Control();
  if (control == nullptr) {
    quietMessage("%s", kNoMemoryMessage);
    return 1;
  }
  initialiseControl(control, config, "");
  if (isDuplicate(control)) {
    consoleMessage("Ignoring duplicate entry %s in the CURVEMIB.INI file.\r\n", name);
    delete control;
    return 1;
  }
  applyLineSettings(control, config);
  if (config->classId >= 2 && config->classId <= 13) {
    control->valueType = classValueType(config->classId);
    appendControl(control);
    return 0;
  }
  consoleMessage(
      "CURVEMIB Error: internal error in create_this_control(). Call Tarvex Tech Support.\r\n");
  reportEvent(kEventInternalError, kEventTypeError);
  delete control;
  return 1;
}

int create_multiple_inst_control(const ControlConfig* config) {
  InstanceEntry* instances = nullptr;
  if (Get_Object_Instances(config->classId, &instances) != 0) return 1;
  const char* name = className(config->classId);
  for (const InstanceEntry* instance = instances; instance != nullptr; instance = instance->next) {
    Control* control = new (std::nothrow) Control();
    if (control == nullptr) {
      consoleMessage("%s", kNoMemoryMessage);
      break;
    }
    initialiseControl(control, config, instance->instanceText);
    if (isDuplicate(control)) {
      consoleMessage("Ignoring duplicate entry %s in the CURVEMIB.INI file.\r\n", name);
      delete control;
      break;
    }
    applyLineSettings(control, config);
    if (!applyInstanceClassSettings(control)) {
      delete control;
      continue;
    }
    appendControl(control);
  }
  freeInstanceList(instances);
  return 0;
}

void createInstanceControl(const ControlConfig* config, const char* instanceText) {
  traceLog("create new control: %s\n", instanceText);
  Control* control = new (std::nothrow) Control();
  if (control == nullptr) {
    quietMessage("%s", kNoMemoryMessage);
    return;
  }
  initialiseControl(control, config, instanceText);
  if (isDuplicate(control)) {
    quietMessage(
        "CURVEMIB Error: found duplicated control class %d, name: %s, internal error, call "
        "Tarvex Tech Support.\r\n",
        static_cast<int>(control->classId), control->instanceName);
    delete control;
    return;
  }
  control->controlIndex = nextControlIndex++;
  applyLineSettings(control, config);
  if (!applyInstanceClassSettings(control)) {
    delete control;
    return;
  }
  insertControlSorted(control);
  createHistoryFile(control->controlIndex);
  ControlIndexEntry* entry = new (std::nothrow) ControlIndexEntry();
  if (entry == nullptr) return;
  entry->controlIndex = control->controlIndex;
  entry->control = control;
  insertIndexEntry(entry);
}

bool isDuplicate(const Control* control) {
  for (const Control* other = controlList; other != nullptr; other = other->next) {
    if (other != control && other->classId == control->classId &&
        other->intervalIndex == control->intervalIndex &&
        std::strncmp(other->instanceName, control->instanceName, kInstanceNameBytes) == 0) {
      return true;
    }
  }
  return false;
}

LONG logicalDiskSizeMB(const char* instanceText) {
  const char* colon = std::strchr(instanceText, ':');
  if (colon == nullptr || colon == instanceText) return 0;
  char root[4] = {colon[-1], ':', '\\', '\0'};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return 0;
  }
  uint64_t bytes = static_cast<uint64_t>(totalClusters) * sectorsPerCluster * bytesPerSector;
  uint64_t units = bytes / 1024000u;
  return units > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<LONG>(units);
}

}  // namespace trend
