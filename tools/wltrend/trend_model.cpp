#include "trend_model.h"

#include <array>

namespace wltrend {

namespace {

constexpr size_t kMaxInstanceBytes = 1024;

Arcs join(Arcs base, std::initializer_list<uint32_t> tail) {
  base.insert(base.end(), tail);
  return base;
}

bool integerOf(const Binding& binding, int32_t* value, std::string* error) {
  if (binding.kind != Binding::Kind::Integer || binding.integer < INT32_MIN ||
      binding.integer > UINT32_MAX) {
    *error = "not a 32-bit INTEGER";
    return false;
  }
  *value = static_cast<int32_t>(static_cast<uint32_t>(binding.integer & 0xFFFFFFFF));
  return true;
}

}  // namespace

const Arcs& trendRoot() {
  static const Arcs root{1, 3, 6, 1, 4, 1, 64823, 2, 45};
  return root;
}

Arcs controlEntry() { return join(trendRoot(), {1, 1, 1}); }
Arcs historyEntry() { return join(trendRoot(), {1, 2, 1}); }
Arcs controlColumn(uint32_t col) { return join(controlEntry(), {col}); }
Arcs controlCell(uint32_t col, uint32_t classId, uint32_t control) {
  return join(controlEntry(), {col, classId, control});
}
Arcs historyValues(uint32_t control) { return join(historyEntry(), {3, control}); }

bool isUnder(const Arcs& name, const Arcs& prefix) {
  if (name.size() <= prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (name[i] != prefix[i]) return false;
  }
  return true;
}

bool storeControlBinding(const Binding& binding, ControlTable* table, std::string* error) {
  const Arcs entry = controlEntry();
  if (!isUnder(binding.name, entry) || binding.name.size() != entry.size() + 3) {
    *error = "not a control table cell";
    return false;
  }
  const uint32_t col = binding.name[entry.size()];
  const uint32_t classId = binding.name[entry.size() + 1];
  const uint32_t control = binding.name[entry.size() + 2];
  if (col < 1 || col > kControlColumns) {
    *error = "control table column " + std::to_string(col) + " is unknown";
    return false;
  }
  ControlRow& row = (*table)[{classId, control}];
  row.classId = classId;
  row.control = control;
  if (col == 3) {
    if (binding.kind != Binding::Kind::OctetString) {
      *error = "instance name is not an OCTET STRING";
      return false;
    }
    if (binding.bytes.size() > kMaxInstanceBytes) {
      *error = "instance name longer than 1024 bytes";
      return false;
    }
    row.instance = binding.bytes;
    row.columnsSeen |= 1u << col;
    return true;
  }
  int32_t value = 0;
  if (!integerOf(binding, &value, error)) {
    *error = "control table column " + std::to_string(col) + ": " + *error;
    return false;
  }
  const auto u = static_cast<uint32_t>(value);
  switch (col) {
    case 1:
    case 2:
      break;  // the index arcs carry these
    case 4:
      row.interval = value;
      break;
    case 5:
      row.valueType = value;
      break;
    case 6:
      row.invalidValue = value;
      break;
    case 7:
      row.lastValue = value;
      break;
    case 8:
      row.startTime = u;
      break;
    case 9:
      row.thresholdStatus = value;
      break;
    case 10:
      row.thresholdType = value;
      break;
    case 11:
      row.rising = u;
      break;
    case 12:
      row.falling = u;
      break;
    case 13:
      row.historyStatus = value;
      break;
    case 14:
      row.lastSample = u;
      break;
    case 15:
      row.bucketsRequested = u;
      break;
    case 16:
      row.bucketsGranted = u;
      break;
    case 17:
      row.status = value;
      break;
    default:
      break;
  }
  row.columnsSeen |= 1u << col;
  return true;
}

bool decodeHistoryBinding(const Binding& binding, uint32_t control, uint32_t* number,
                          int32_t* value, std::string* error) {
  const Arcs prefix = historyValues(control);
  if (!isUnder(binding.name, prefix) || binding.name.size() != prefix.size() + 1) {
    *error = "not a history value of control " + std::to_string(control);
    return false;
  }
  *number = binding.name.back();
  if (!integerOf(binding, value, error)) {
    *error = "sample " + std::to_string(*number) + ": " + *error;
    return false;
  }
  return true;
}

uint32_t intervalSeconds(int32_t intervalIndex) {
  static constexpr std::array<uint32_t, 13> kSeconds{0,   5,    10,   15,    30,    60,   300,
                                                     900, 1800, 3600, 14400, 28800, 86400};
  if (intervalIndex < 1 || intervalIndex > 12) return 0;
  return kSeconds[static_cast<size_t>(intervalIndex)];
}

std::string className(uint32_t classId) {
  static const char* const kNames[] = {
      "",
      "pctProcessorTime",
      "totalServerTrafficKBytes",
      "totalServerOutKBytes",
      "totalServerInKBytes",
      "avgAllServerLogons",
      "serverErrorLogons",
      "avgServerSessions",
      "pctMemoryAvailableKBytes",
      "fileReads",
      "fileWrites",
      "fileReadKBytes",
      "fileWriteKBytes",
      "pctCacheHitRate",
      "avgDiskTransfer",
      "pctLogicalDiskFreeSpace",
      "physIfInPackets",
      "physIfOutPackets",
      "physIfInKBytes",
      "physIfOutKBytes",
      "readyWorkQueueItems",
      "readyWorkQueueLength",
      "readyWorkQueueKBytes",
  };
  if (classId >= sizeof kNames / sizeof kNames[0]) return "";
  return kNames[classId];
}

int64_t sampleTime(uint32_t startTime, uint32_t intervalSeconds, uint32_t lastSample,
                   uint32_t number) {
  const uint32_t newest = startTime + intervalSeconds * (lastSample - 1);
  return static_cast<uint32_t>(newest - intervalSeconds * (lastSample - number));
}

std::vector<Sample> buildSamples(const ControlRow& row,
                                 const std::vector<std::pair<uint32_t, int32_t>>& values) {
  const uint32_t interval = intervalSeconds(row.interval);
  std::vector<Sample> samples;
  samples.reserve(values.size());
  for (const auto& [number, value] : values) {
    Sample sample;
    sample.number = number;
    sample.value = value;
    sample.time = sampleTime(row.startTime, interval, row.lastSample, number);
    sample.valid = value != row.invalidValue;
    samples.push_back(sample);
  }
  return samples;
}

}  // namespace wltrend
