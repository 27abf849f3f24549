#include "event_listing.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace wl::eventview {
namespace {

std::string LocalTime(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm local;
  char text[32];
  if (localtime_r(&t, &local) == nullptr ||
      strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
    return std::to_string(seconds);
  }
  return text;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

bool ParseSince(const std::string& text, int64_t* seconds) {
  if (text.empty()) return false;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    if (text.size() > 18) return false;
    *seconds = std::stoll(text);
    return true;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char separator = 0;
  int consumed = 0;
  const char* s = text.c_str();
  if (sscanf(s, "%4d-%2d-%2d%n", &year, &month, &day, &consumed) != 3 || consumed != 10) {
    return false;
  }
  if (text.size() > 10) {
    int rest = 0;
    const int fields =
        sscanf(s + 10, "%c%2d:%2d%n:%2d%n", &separator, &hour, &minute, &rest, &second, &rest);
    if (fields < 3 || (separator != 'T' && separator != ' ') ||
        10 + rest != static_cast<int>(text.size())) {
      return false;
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
      hour < 0 || minute < 0 || second < 0) {
    return false;
  }
  struct tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  if (t == static_cast<time_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

std::string TypeWord(unsigned type) {
  switch (type) {
    case 0x0000:
      return "Success";
    case 0x0001:
      return "Error";
    case 0x0002:
      return "Warning";
    case 0x0004:
      return "Information";
    case 0x0008:
      return "Audit Success";
    case 0x0010:
      return "Audit Failure";
    default:
      return "Type " + std::to_string(type);
  }
}

std::string FormatLine(const eventlog::EventRecord& record) {
  std::string text = OneLine(record.message);
  if (text.empty()) {
    text = "(no message text)";
    for (const std::string& s : record.strings) text += " \"" + s + "\"";
  }
  return LocalTime(record.time) + " " + TypeWord(record.type) + " " + record.source + " " +
         std::to_string(record.eventId & 0xFFFFu) + " " + text;
}

std::string FormatJson(const std::vector<eventlog::EventRecord>& records) {
  nlohmann::json list = nlohmann::json::array();
  for (const eventlog::EventRecord& record : records) {
    std::string data;
    for (unsigned char c : record.data) {
      char hex[3];
      snprintf(hex, sizeof hex, "%02x", c);
      data += hex;
    }
    list.push_back({{"record", record.recordNumber},
                    {"time", record.time},
                    {"time_text", LocalTime(record.time)},
                    {"type", record.type},
                    {"type_name", TypeWord(record.type)},
                    {"source", record.source},
                    {"event_id", record.eventId},
                    {"category", record.category},
                    {"strings", record.strings},
                    {"message", record.message},
                    {"data", data}});
  }
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace wl::eventview
