// What wltrend knows of the trend MIB: the object identifiers of its two
// tables, the control row and the history sample as this tool holds them,
// and the decoding of the bindings an agent answers into them.
//
// Everything here is pure (no I/O, no clock); every value taken from an
// answer is checked for its type and size before it is used.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wltrend {

using Arcs = std::vector<uint32_t>;

// 1.3.6.1.4.1.64823.2.45, the trend MIB.
const Arcs& trendRoot();
// trendControlEntry (root.1.1.1) and trendHistoryEntry (root.1.2.1).
Arcs controlEntry();
Arcs historyEntry();
// root.1.1.1.col, or root.1.1.1.col.classId.control.
Arcs controlColumn(uint32_t col);
Arcs controlCell(uint32_t col, uint32_t classId, uint32_t control);
// root.1.2.1.3.control: the values of one control's history.
Arcs historyValues(uint32_t control);

constexpr uint32_t kControlColumns = 17;

// One binding of an answer, taken apart from the SNMP library's form.
struct Binding {
  enum class Kind { Integer, OctetString, NoSuchName, EndOfView, Other };
  Arcs name;
  Kind kind = Kind::Other;
  int64_t integer = 0;  // Kind::Integer: the 32-bit value, sign-extended
  std::string bytes;    // Kind::OctetString
};

// True when `name` starts with `prefix` and is longer.
bool isUnder(const Arcs& name, const Arcs& prefix);

// The control row of the agent's control table.
struct ControlRow {
  uint32_t classId = 0;
  uint32_t control = 0;
  std::string instance;
  int32_t interval = 0;  // interval index 1..12
  int32_t valueType = 0;
  int32_t invalidValue = -1;
  int32_t lastValue = -1;
  uint32_t startTime = 0;  // time due for sample number 1, 0 = none yet
  int32_t thresholdStatus = 0;
  int32_t thresholdType = 0;
  uint32_t rising = 0;
  uint32_t falling = 0;
  int32_t historyStatus = 0;
  uint32_t lastSample = 0;  // running number of the newest sample, 0 = none
  uint32_t bucketsRequested = 0;
  uint32_t bucketsGranted = 0;
  int32_t status = 0;
  uint32_t columnsSeen = 0;  // bit c set when column c was answered
};

// Rows keyed by (class, control), in the agent's order.
using ControlTable = std::map<std::pair<uint32_t, uint32_t>, ControlRow>;

// Stores one binding of the control table (a name under controlEntry()) in
// `table`. False, with `error` set, when the name or the value does not fit
// the table (a short name, a column outside 1..17, a wrong type, an instance
// name longer than 1,024 bytes).
bool storeControlBinding(const Binding& binding, ControlTable* table, std::string* error);

// One sample of a history.
struct Sample {
  uint32_t number = 0;  // running sample number
  int32_t value = 0;
  int64_t time = 0;  // seconds since 1970
  bool valid = false;
};

// Reads one binding of historyValues(control): its sample number and value.
// False, with `error` set, when the name is not one of that control's
// samples or the value is not an INTEGER.
bool decodeHistoryBinding(const Binding& binding, uint32_t control, uint32_t* number,
                          int32_t* value, std::string* error);

// Seconds of an interval index: 5, 10, 15, 30, 60, 300, 900, 1800, 3600,
// 14400, 28800, 86400 for 1..12; 0 for any other index.
uint32_t intervalSeconds(int32_t intervalIndex);

// The class name of a class number 1..22, or "" for any other number.
std::string className(uint32_t classId);

// The time a sample was due: the newest sample (number `lastSample`) was due
// at startTime + interval * (lastSample - 1), and each older one an interval
// earlier. The agent keeps these times as unsigned 32-bit seconds, so the
// arithmetic wraps the same way.
int64_t sampleTime(uint32_t startTime, uint32_t intervalSeconds, uint32_t lastSample,
                   uint32_t number);

// Samples in running order with their times and validity (a value equal to
// the control's invalid value is a gap). `values` maps sample numbers to
// values as read.
std::vector<Sample> buildSamples(const ControlRow& row,
                                 const std::vector<std::pair<uint32_t, int32_t>>& values);

}  // namespace wltrend
