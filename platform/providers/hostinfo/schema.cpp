#include "schema.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

#include "text.h"

namespace wl::host {
namespace {

using Json = FixtureJson;

#define WL_FIELD(Type, member, name, kind)                                                     \
  Field {                                                                                      \
    name, offsetof(Type, member), FieldKind::kind, sizeof(static_cast<Type*>(nullptr)->member) \
  }

std::vector<Field> SystemTimeFields(size_t offset, const char* name) {
  return {{name, offset, FieldKind::kSystemTime, sizeof(SYSTEMTIME)}};
}

std::vector<CallSchema> BuildCalls() {
  std::vector<CallSchema> calls;
  calls.push_back({"W32GetSystemUptime",
                   false,
                   false,
                   sizeof(UptimeAnswer),
                   {WL_FIELD(UptimeAnswer, uptime, "uptime", kU32)}});
  calls.push_back(
      {"W32GetSystemTime", false, false, sizeof(SystemTimeAnswer), SystemTimeFields(0, "time")});
  calls.push_back({"W32GetSystemTimeZone",
                   false,
                   false,
                   sizeof(TimeZoneAnswer),
                   {WL_FIELD(TimeZoneAnswer, zone.Bias, "bias", kI32),
                    WL_FIELD(TimeZoneAnswer, zone.StandardName, "standardName", kWide),
                    WL_FIELD(TimeZoneAnswer, zone.StandardDate, "standardDate", kSystemTime),
                    WL_FIELD(TimeZoneAnswer, zone.StandardBias, "standardBias", kI32),
                    WL_FIELD(TimeZoneAnswer, zone.DaylightName, "daylightName", kWide),
                    WL_FIELD(TimeZoneAnswer, zone.DaylightDate, "daylightDate", kSystemTime),
                    WL_FIELD(TimeZoneAnswer, zone.DaylightBias, "daylightBias", kI32),
                    WL_FIELD(TimeZoneAnswer, kind, "kind", kU32)}});
  calls.push_back({"W32GetUserCount",
                   false,
                   false,
                   sizeof(CountAnswer),
                   {WL_FIELD(CountAnswer, users, "users", kU32)}});
  calls.push_back({"W32GetMemorySize",
                   false,
                   false,
                   sizeof(MemoryAnswer),
                   {WL_FIELD(MemoryAnswer, bytes, "bytes", kU64)}});
  calls.push_back({"W32GetSWInstalledLastChange", false, false, sizeof(SystemTimeAnswer),
                   SystemTimeFields(0, "time")});
  calls.push_back({"W32GetStorage",
                   true,
                   false,
                   sizeof(W32StorageRecord),
                   {WL_FIELD(W32StorageRecord, type, "type", kU32),
                    WL_FIELD(W32StorageRecord, description, "description", kWide),
                    WL_FIELD(W32StorageRecord, allocationUnits, "allocationUnits", kU32),
                    WL_FIELD(W32StorageRecord, size, "size", kU32),
                    WL_FIELD(W32StorageRecord, used, "used", kU32),
                    WL_FIELD(W32StorageRecord, allocationFailures, "allocationFailures", kU32),
                    WL_FIELD(W32StorageRecord, label, "label", kWide),
                    WL_FIELD(W32StorageRecord, hardDisk, "hardDisk", kI32),
                    WL_FIELD(W32StorageRecord, partition, "partition", kI32)}});
  calls.push_back({"W32GetDevice",
                   true,
                   false,
                   sizeof(W32DeviceRecord),
                   {WL_FIELD(W32DeviceRecord, type, "type", kU32),
                    WL_FIELD(W32DeviceRecord, description, "description", kWide),
                    WL_FIELD(W32DeviceRecord, deviceId, "deviceId", kOid),
                    WL_FIELD(W32DeviceRecord, status, "status", kU32),
                    WL_FIELD(W32DeviceRecord, errors, "errors", kU32),
                    WL_FIELD(W32DeviceRecord, media, "media", kU32),
                    WL_FIELD(W32DeviceRecord, hardDisk, "hardDisk", kI32),
                    WL_FIELD(W32DeviceRecord, signature, "signature", kU32),
                    WL_FIELD(W32DeviceRecord, mac, "mac", kMac),
                    WL_FIELD(W32DeviceRecord, interfaceType, "interfaceType", kU16),
                    WL_FIELD(W32DeviceRecord, networkIndex, "networkIndex", kU16),
                    WL_FIELD(W32DeviceRecord, printerName, "printerName", kWide),
                    WL_FIELD(W32DeviceRecord, firmwareId, "firmwareId", kOid)}});
  calls.push_back({"W32GetProcessor",
                   true,
                   false,
                   sizeof(W32ProcessorRecord),
                   {WL_FIELD(W32ProcessorRecord, firmwareId, "firmwareId", kOid)}});
  calls.push_back({"W32GetNetwork",
                   true,
                   false,
                   sizeof(W32NetworkRecord),
                   {WL_FIELD(W32NetworkRecord, mac, "mac", kMac),
                    WL_FIELD(W32NetworkRecord, interfaceIndex, "interfaceIndex", kU32),
                    WL_FIELD(W32NetworkRecord, networkIndex, "networkIndex", kU16)}});
  calls.push_back({"W32GetPrinter",
                   true,
                   false,
                   sizeof(W32PrinterRecord),
                   {WL_FIELD(W32PrinterRecord, name, "name", kWide),
                    WL_FIELD(W32PrinterRecord, status, "status", kU32),
                    WL_FIELD(W32PrinterRecord, detectedErrorState, "detectedErrorState", kU32)}});
  calls.push_back({"W32GetDiskStorage",
                   true,
                   false,
                   sizeof(W32DiskStorageRecord),
                   {WL_FIELD(W32DiskStorageRecord, name, "name", kWide),
                    WL_FIELD(W32DiskStorageRecord, access, "access", kU32),
                    WL_FIELD(W32DiskStorageRecord, removable, "removable", kI32),
                    WL_FIELD(W32DiskStorageRecord, capacity, "capacity", kU32),
                    WL_FIELD(W32DiskStorageRecord, signature, "signature", kU32),
                    WL_FIELD(W32DiskStorageRecord, media, "media", kU32),
                    WL_FIELD(W32DiskStorageRecord, hardDisk, "hardDisk", kI32)}});
  calls.push_back({"W32GetPartition",
                   true,
                   false,
                   sizeof(W32PartitionRecord),
                   {WL_FIELD(W32PartitionRecord, hardDisk, "hardDisk", kI32),
                    WL_FIELD(W32PartitionRecord, partition, "partition", kI32),
                    WL_FIELD(W32PartitionRecord, label, "label", kWide),
                    WL_FIELD(W32PartitionRecord, size, "size", kU32),
                    WL_FIELD(W32PartitionRecord, type, "type", kU32)}});
  calls.push_back(
      {"W32GetFileSystem",
       true,
       false,
       sizeof(W32FileSystemRecord),
       {WL_FIELD(W32FileSystemRecord, hardDisk, "hardDisk", kI32),
        WL_FIELD(W32FileSystemRecord, partition, "partition", kI32),
        WL_FIELD(W32FileSystemRecord, type, "type", kU32),
        WL_FIELD(W32FileSystemRecord, access, "access", kU32),
        WL_FIELD(W32FileSystemRecord, bootable, "bootable", kI32),
        WL_FIELD(W32FileSystemRecord, lastFullBackup, "lastFullBackup", kSystemTime),
        WL_FIELD(W32FileSystemRecord, lastPartialBackup, "lastPartialBackup", kSystemTime)}});
  calls.push_back({"RegGetWardenlinePathName",
                   false,
                   true,
                   sizeof(PathAnswer),
                   {WL_FIELD(PathAnswer, path, "path", kWide)}});
  calls.push_back({"RegGetScsiDiskStorage",
                   true,
                   true,
                   sizeof(RegScsiDiskRecord),
                   {WL_FIELD(RegScsiDiskRecord, driver, "driver", kWide),
                    WL_FIELD(RegScsiDiskRecord, name, "name", kWide),
                    WL_FIELD(RegScsiDiskRecord, identifier, "identifier", kWide),
                    WL_FIELD(RegScsiDiskRecord, bus, "bus", kWide),
                    WL_FIELD(RegScsiDiskRecord, media, "media", kU32)}});
  calls.push_back({"RegGetNonScsiDiskStorage",
                   true,
                   true,
                   sizeof(RegNonScsiDiskRecord),
                   {WL_FIELD(RegNonScsiDiskRecord, serial, "serial", kWide),
                    WL_FIELD(RegNonScsiDiskRecord, firmware, "firmware", kWide),
                    WL_FIELD(RegNonScsiDiskRecord, name, "name", kWide),
                    WL_FIELD(RegNonScsiDiskRecord, identifier, "identifier", kWide),
                    WL_FIELD(RegNonScsiDiskRecord, bus, "bus", kWide),
                    WL_FIELD(RegNonScsiDiskRecord, media, "media", kU32)}});
  calls.push_back({"RegGetKeyboard",
                   true,
                   true,
                   sizeof(RegKeyboardRecord),
                   {WL_FIELD(RegKeyboardRecord, driver, "driver", kWide),
                    WL_FIELD(RegKeyboardRecord, deviceClass, "class", kWide),
                    WL_FIELD(RegKeyboardRecord, device, "device", kWide),
                    WL_FIELD(RegKeyboardRecord, name, "name", kWide),
                    WL_FIELD(RegKeyboardRecord, bus, "bus", kWide),
                    WL_FIELD(RegKeyboardRecord, start, "start", kU32)}});
  calls.push_back({"RegGetDeviceVideo",
                   true,
                   true,
                   sizeof(RegVideoRecord),
                   {WL_FIELD(RegVideoRecord, driver, "driver", kWide),
                    WL_FIELD(RegVideoRecord, name, "name", kWide),
                    WL_FIELD(RegVideoRecord, vgaCompatible, "vgaCompatible", kU32),
                    WL_FIELD(RegVideoRecord, controller, "controller", kWide),
                    WL_FIELD(RegVideoRecord, peripheral, "peripheral", kWide),
                    WL_FIELD(RegVideoRecord, bus, "bus", kWide),
                    WL_FIELD(RegVideoRecord, start, "start", kU32)}});
  const std::vector<Field> portFields = {WL_FIELD(RegPortRecord, name, "name", kWide),
                                         WL_FIELD(RegPortRecord, controller, "controller", kWide),
                                         WL_FIELD(RegPortRecord, driver, "driver", kWide),
                                         WL_FIELD(RegPortRecord, bus, "bus", kWide),
                                         WL_FIELD(RegPortRecord, start, "start", kU32)};
  calls.push_back({"RegGetParallelPort", true, true, sizeof(RegPortRecord), portFields});
  calls.push_back({"RegGetPointerPort",
                   true,
                   true,
                   sizeof(RegPointerRecord),
                   {WL_FIELD(RegPointerRecord, driver, "driver", kWide),
                    WL_FIELD(RegPointerRecord, deviceClass, "class", kWide),
                    WL_FIELD(RegPointerRecord, device, "device", kWide),
                    WL_FIELD(RegPointerRecord, name, "name", kWide),
                    WL_FIELD(RegPointerRecord, bus, "bus", kWide),
                    WL_FIELD(RegPointerRecord, start, "start", kU32),
                    WL_FIELD(RegPointerRecord, description, "description", kWide)}});
  calls.push_back({"RegGetSerialComm", true, true, sizeof(RegSerialRecord), portFields});
  calls.push_back({"RegGetSoftwareInstalled",
                   true,
                   true,
                   sizeof(RegSoftwareRecord),
                   {WL_FIELD(RegSoftwareRecord, kind, "kind", kU32),
                    WL_FIELD(RegSoftwareRecord, origin, "origin", kWide),
                    WL_FIELD(RegSoftwareRecord, name, "name", kWide),
                    WL_FIELD(RegSoftwareRecord, displayName, "displayName", kWide),
                    WL_FIELD(RegSoftwareRecord, pathName, "pathName", kWide),
                    WL_FIELD(RegSoftwareRecord, major, "major", kU32),
                    WL_FIELD(RegSoftwareRecord, minor, "minor", kU32),
                    WL_FIELD(RegSoftwareRecord, version, "version", kWide),
                    WL_FIELD(RegSoftwareRecord, qualifier, "qualifier", kWide),
                    WL_FIELD(RegSoftwareRecord, command, "command", kWide),
                    WL_FIELD(RegSoftwareRecord, type, "type", kU32),
                    WL_FIELD(RegSoftwareRecord, installTime, "installTime", kU32)}});
  return calls;
}

#undef WL_FIELD

// Thrown inside the JSON readers only.
struct SchemaError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw SchemaError{where + ": " + what};
}

template <typename T>
T Load(const std::string& record, size_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof(T));
  return value;
}

template <typename T>
void Store(std::string* record, size_t offset, T value) {
  std::memcpy(record->data() + offset, &value, sizeof(T));
}

std::u16string_view WideAt(const std::string& record, const Field& field) {
  // Records are built by this code and sized exactly; the bytes of a field are
  // copied to stay clear of alignment questions.
  static thread_local std::u16string buffer;
  buffer.assign(field.size / 2, u'\0');
  std::memcpy(buffer.data(), record.data() + field.offset, field.size / 2 * 2);
  const size_t end = buffer.find(u'\0');
  return std::u16string_view(buffer).substr(0, end);
}

std::string OidText(const std::string& record, size_t offset) {
  const DWORD length = Load<DWORD>(record, offset);
  std::string text;
  for (DWORD i = 0; i < length && i < 20; ++i) {
    if (i) text += '.';
    text += std::to_string(Load<DWORD>(record, offset + 4 + 4 * i));
  }
  return text;
}

std::string MacText(const std::string& record, size_t offset) {
  char text[18];
  const auto* b = reinterpret_cast<const unsigned char*>(record.data() + offset);
  std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4],
                b[5]);
  return text;
}

const char* const kTimeParts[] = {"year", "month",  "dayOfWeek", "day",
                                  "hour", "minute", "second",    "milliseconds"};

Json TimeJson(const std::string& record, size_t offset) {
  Json time = Json::object();
  for (size_t i = 0; i < 8; ++i) time[kTimeParts[i]] = Load<WORD>(record, offset + 2 * i);
  return time;
}

std::string TimeText(const std::string& record, size_t offset) {
  WORD p[8];
  for (size_t i = 0; i < 8; ++i) p[i] = Load<WORD>(record, offset + 2 * i);
  char text[64];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u (weekday %u)", p[0], p[1],
                p[3], p[4], p[5], p[6], p[7], p[2]);
  return text;
}

uint64_t Unsigned(const Json& value, const std::string& where, uint64_t maximum) {
  if (value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0)) {
    const uint64_t v = value.get<uint64_t>();
    if (v <= maximum) return v;
  }
  Fail(where, "must be an integer from 0 to " + std::to_string(maximum));
}

int64_t Signed(const Json& value, const std::string& where, int64_t minimum, int64_t maximum) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    const int64_t v = value.get<int64_t>();
    if (v >= minimum && v <= maximum) return v;
  } else if (value.is_number_unsigned() &&
             value.get<uint64_t>() <= static_cast<uint64_t>(maximum)) {
    return static_cast<int64_t>(value.get<uint64_t>());
  }
  Fail(where,
       "must be an integer from " + std::to_string(minimum) + " to " + std::to_string(maximum));
}

void ReadField(const Field& field, const Json& value, const std::string& where,
               std::string* record) {
  switch (field.kind) {
    case FieldKind::kU16:
      Store<WORD>(record, field.offset, static_cast<WORD>(Unsigned(value, where, 0xFFFF)));
      break;
    case FieldKind::kU32:
      Store<DWORD>(record, field.offset, static_cast<DWORD>(Unsigned(value, where, 0xFFFFFFFFu)));
      break;
    case FieldKind::kI32:
      Store<INT>(record, field.offset,
                 static_cast<INT>(Signed(value, where, INT32_MIN, INT32_MAX)));
      break;
    case FieldKind::kU64:
      Store<ULONGLONG>(record, field.offset, Unsigned(value, where, UINT64_MAX));
      break;
    case FieldKind::kWide: {
      if (!value.is_string()) Fail(where, "must be a string");
      const std::u16string wide = Utf8ToUtf16(value.get<std::string>());
      const size_t capacity = field.size / 2;
      if (wide.find(u'\0') != std::u16string::npos) Fail(where, "must not contain NUL");
      if (wide.size() >= capacity) {
        Fail(where, "is longer than " + std::to_string(capacity - 1) + " UTF-16 characters");
      }
      std::memcpy(record->data() + field.offset, wide.data(), wide.size() * 2);
      break;
    }
    case FieldKind::kMac: {
      if (!value.is_string()) Fail(where, "must be a string like \"02:00:00:00:00:01\"");
      const std::string text = value.get<std::string>();
      if (text.size() != 17) Fail(where, "must be six hexadecimal bytes separated by \":\"");
      for (size_t i = 0; i < 6; ++i) {
        uint64_t byte = 0;
        if ((i < 5 && text[3 * i + 2] != ':') ||
            !ParseUnsigned(std::string_view(text).substr(3 * i, 2), &byte, 16, 255)) {
          Fail(where, "must be six hexadecimal bytes separated by \":\"");
        }
        (*record)[field.offset + i] = static_cast<char>(byte);
      }
      break;
    }
    case FieldKind::kOid: {
      if (!value.is_string()) Fail(where, "must be a string of dotted numbers");
      const std::string text = value.get<std::string>();
      DWORD count = 0;
      size_t start = 0;
      while (!text.empty() && start <= text.size()) {
        size_t end = text.find('.', start);
        if (end == std::string::npos) end = text.size();
        uint64_t arc = 0;
        if (count == 20) Fail(where, "has more than 20 sub-identifiers");
        if (!ParseUnsigned(std::string_view(text).substr(start, end - start), &arc, 10,
                           0xFFFFFFFFu) ||
            end - start > 10) {
          Fail(where, "must be a string of dotted numbers below 2^32");
        }
        Store<DWORD>(record, field.offset + 4 + 4 * count, static_cast<DWORD>(arc));
        ++count;
        start = end + 1;
      }
      Store<DWORD>(record, field.offset, count);
      break;
    }
    case FieldKind::kSystemTime: {
      if (!value.is_object()) Fail(where, "must be an object with year, month, ... milliseconds");
      for (const auto& [key, part] : value.items()) {
        size_t i = 0;
        while (i < 8 && key != kTimeParts[i]) ++i;
        if (i == 8) Fail(where + "." + key, "is not a part of a time");
        Store<WORD>(record, field.offset + 2 * i,
                    static_cast<WORD>(Unsigned(part, where + "." + key, 0xFFFF)));
      }
      break;
    }
  }
}

bool IsReserved(const Field& field) { return std::strncmp(field.name, "reserved", 8) == 0; }

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\x%02x", static_cast<unsigned char>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

const std::vector<CallSchema>& AllCalls() {
  static const std::vector<CallSchema> calls = BuildCalls();
  return calls;
}

const CallSchema* FindCall(std::string_view name) {
  for (const CallSchema& call : AllCalls()) {
    if (name == call.name) return &call;
  }
  return nullptr;
}

Json RecordToJson(const CallSchema& call, const std::string& record) {
  Json item = Json::object();
  for (const Field& field : call.fields) {
    switch (field.kind) {
      case FieldKind::kU16:
        item[field.name] = Load<WORD>(record, field.offset);
        break;
      case FieldKind::kU32:
        item[field.name] = Load<DWORD>(record, field.offset);
        break;
      case FieldKind::kI32:
        item[field.name] = Load<INT>(record, field.offset);
        break;
      case FieldKind::kU64:
        item[field.name] = Load<ULONGLONG>(record, field.offset);
        break;
      case FieldKind::kWide:
        item[field.name] = Utf16ToUtf8(WideAt(record, field));
        break;
      case FieldKind::kMac:
        item[field.name] = MacText(record, field.offset);
        break;
      case FieldKind::kOid:
        item[field.name] = OidText(record, field.offset);
        break;
      case FieldKind::kSystemTime:
        item[field.name] = TimeJson(record, field.offset);
        break;
    }
  }
  return item;
}

Json AnswerToJson(const CallSchema& call, const Answer& answer) {
  if (call.list) {
    if (answer.result < 0) return Json{{"result", answer.result}};
    Json records = Json::array();
    for (const std::string& record : answer.records) records.push_back(RecordToJson(call, record));
    return records;
  }
  if (answer.result != 0 || answer.records.empty()) return Json{{"result", answer.result}};
  return RecordToJson(call, answer.records.front());
}

bool RecordFromJson(const CallSchema& call, const Json& item, const std::string& where,
                    std::string* record, std::string* error) {
  try {
    if (!item.is_object()) Fail(where, "must be an object");
    record->assign(call.recordSize, '\0');
    for (const auto& [key, value] : item.items()) {
      const Field* field = nullptr;
      for (const Field& candidate : call.fields) {
        if (key == candidate.name) field = &candidate;
      }
      if (!field) {
        if (!call.list && key == "result") continue;
        Fail(where + "." + key, "is not a field of " + std::string(call.name));
      }
      ReadField(*field, value, where + "." + key, record);
    }
    return true;
  } catch (const SchemaError& failure) {
    *error = failure.message;
    return false;
  }
}

bool AnswerFromJson(const CallSchema& call, const Json& value, Answer* answer, std::string* error) {
  *answer = Answer();
  const std::string where = call.name;
  try {
    if (value.is_object()) {
      const auto result = value.find("result");
      if (result != value.end()) {
        answer->result = static_cast<int>(Signed(*result, where + ".result", INT32_MIN, INT32_MAX));
        if (call.list && answer->result >= 0) {
          Fail(where + ".result", "must be negative: a list is given as an array of records");
        }
        if (call.list && value.size() > 1) Fail(where, "a failure has no other members");
        if (call.list || answer->result != 0) return true;
      }
      if (call.list) Fail(where, "must be an array of records or {\"result\": negative}");
      std::string record;
      if (!RecordFromJson(call, value, where, &record, error)) return false;
      answer->records.push_back(std::move(record));
      return true;
    }
    if (!call.list) Fail(where, "must be an object");
    if (!value.is_array()) Fail(where, "must be an array of records or {\"result\": negative}");
    if (value.size() > kMaxAnswerBytes / call.recordSize) {
      Fail(where, "has more records than " + std::to_string(kMaxAnswerBytes >> 20) + " MiB hold");
    }
    for (size_t i = 0; i < value.size(); ++i) {
      std::string record;
      if (!RecordFromJson(call, value[i], where + "[" + std::to_string(i) + "]", &record, error)) {
        return false;
      }
      answer->records.push_back(std::move(record));
    }
    answer->result = static_cast<int>(answer->records.size());
    return true;
  } catch (const SchemaError& failure) {
    *error = failure.message;
    return false;
  }
}

std::string FormatRecord(const CallSchema& call, const std::string& record) {
  std::string line;
  for (const Field& field : call.fields) {
    if (IsReserved(field)) continue;
    if (!line.empty()) line += ' ';
    line += field.name;
    line += '=';
    switch (field.kind) {
      case FieldKind::kU16:
        line += std::to_string(Load<WORD>(record, field.offset));
        break;
      case FieldKind::kU32:
        line += std::to_string(Load<DWORD>(record, field.offset));
        break;
      case FieldKind::kI32:
        line += std::to_string(Load<INT>(record, field.offset));
        break;
      case FieldKind::kU64:
        line += std::to_string(Load<ULONGLONG>(record, field.offset));
        break;
      case FieldKind::kWide:
        line += Quoted(Utf16ToUtf8(WideAt(record, field)));
        break;
      case FieldKind::kMac:
        line += MacText(record, field.offset);
        break;
      case FieldKind::kOid:
        line += "{" + OidText(record, field.offset) + "}";
        break;
      case FieldKind::kSystemTime:
        line += TimeText(record, field.offset);
        break;
    }
  }
  return line;
}

std::string FormatAnswer(const CallSchema& call, const Answer& answer) {
  std::string text = call.name;
  if (call.list) {
    if (answer.result < 0) return text + ": failed, result " + std::to_string(answer.result) + "\n";
    text += ": " + std::to_string(answer.records.size()) + " records\n";
    for (size_t i = 0; i < answer.records.size(); ++i) {
      text += "  [" + std::to_string(i + 1) + "] " + FormatRecord(call, answer.records[i]) + "\n";
    }
    return text;
  }
  if (answer.result != 0 || answer.records.empty()) {
    return text + ": failed, result " + std::to_string(answer.result) + "\n";
  }
  return text + ": " + FormatRecord(call, answer.records.front()) + "\n";
}

}  // namespace wl::host
