// The shape of every provider call's answer, field by field: the one
// description from which the fixture reader, the fixture writer and wlhost's
// listing all work, so that a captured machine replays byte for byte.
// Thread safety: the tables are constant; functions are pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "regprob.h"
#include "winprob.h"

namespace wl::host {

// The most record bytes one answer of a fixture may hold.
inline constexpr size_t kMaxAnswerBytes = 256u << 20;

// Single-value answers, laid out as records too.
struct UptimeAnswer {
  DWORD uptime;
};
struct SystemTimeAnswer {
  SYSTEMTIME time;
};
struct TimeZoneAnswer {
  TIME_ZONE_INFORMATION zone;
  HRTimeZone kind;
};
struct CountAnswer {
  DWORD users;
};
struct MemoryAnswer {
  ULONGLONG bytes;
};
struct PathAnswer {
  WCHAR path[520];
};

enum class FieldKind { kU16, kU32, kI32, kU64, kWide, kMac, kOid, kSystemTime };

struct Field {
  const char* name;
  size_t offset;
  FieldKind kind;
  size_t size;  // bytes
};

struct CallSchema {
  const char* name;  // "W32GetStorage"
  bool list;         // list call (records) or single-value call
  bool registry;     // a call of libregprob.so
  size_t recordSize;
  std::vector<Field> fields;
};

// Every call, in the order wlhost shows them.
const std::vector<CallSchema>& AllCalls();
const CallSchema* FindCall(std::string_view name);

// One call's answer: for list calls `result` is the record count or a
// negative failure; for single-value calls 0 with one record, or an error code.
// Fixture documents keep their members in the order written, so that a
// capture lists each record's fields in layout order.
using FixtureJson = nlohmann::ordered_json;

struct Answer {
  int result = 0;
  std::vector<std::string> records;  // each exactly recordSize bytes
};

FixtureJson RecordToJson(const CallSchema& call, const std::string& record);
FixtureJson AnswerToJson(const CallSchema& call, const Answer& answer);
// Fills `record` (recordSize bytes, zero where the JSON names no value).
// Failure: false and `error` naming the element ("W32GetStorage[1].size: ...").
bool RecordFromJson(const CallSchema& call, const FixtureJson& item, const std::string& where,
                    std::string* record, std::string* error);
bool AnswerFromJson(const CallSchema& call, const FixtureJson& value, Answer* answer,
                    std::string* error);

// "name=value ..." for one record, reserved fields left out.
std::string FormatRecord(const CallSchema& call, const std::string& record);
// The answer as wlhost shows it: a header line and one line per record.
std::string FormatAnswer(const CallSchema& call, const Answer& answer);

// Record bytes of a struct.
template <typename T>
std::string RecordBytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}
template <typename T>
Answer ListAnswer(const std::vector<T>& records) {
  Answer answer;
  answer.result = static_cast<int>(records.size());
  for (const T& record : records) answer.records.push_back(RecordBytes(record));
  return answer;
}
template <typename T>
Answer ValueAnswer(const T& value) {
  Answer answer;
  answer.records.push_back(RecordBytes(value));
  return answer;
}

}  // namespace wl::host
