#include "fixture.h"

#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>

#include "counter_types.h"
#include "wltext/json_depth.h"

namespace wl::perf {
namespace {

using Json = nlohmann::json;

// Thrown inside the parser only; ParseFixture turns it into its error text.
struct FixtureError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw FixtureError{where.empty() ? what : where + ": " + what};
}

const Json* Member(const Json& object, const char* key) {
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

int64_t SignedInteger(const Json& value, const std::string& where) {
  if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
  if (value.is_number_unsigned()) {
    const uint64_t v = value.get<uint64_t>();
    if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      Fail(where, "must be an integer from -2^63 to 2^63-1");
    }
    return static_cast<int64_t>(v);
  }
  Fail(where, "must be an integer");
}

uint64_t UnsignedInteger(const Json& value, const std::string& where, uint64_t maximum) {
  if (value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0)) {
    const uint64_t v = value.get<uint64_t>();
    if (v <= maximum) return v;
  }
  Fail(where, "must be an integer from 0 to " + std::to_string(maximum));
}

// A counter value: any 64-bit integer, signed or unsigned; stored as its bits.
int64_t CounterValue(const Json& value, const std::string& where) {
  if (value.is_number_unsigned()) return static_cast<int64_t>(value.get<uint64_t>());
  if (value.is_number_integer()) return value.get<int64_t>();
  Fail(where, "must be an integer");
}

std::string Text(const Json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "must be a string");
  std::string text = value.get<std::string>();
  if (text.find('\0') != std::string::npos) Fail(where, "must not contain NUL");
  return text;
}

void AddName(NameTable* names, DWORD index, const std::string& name, const std::string& where) {
  const auto [entry, inserted] = names->emplace(index, name);
  if (!inserted && entry->second != name) {
    Fail(where, "index " + std::to_string(index) + " is already named \"" + entry->second + "\"");
  }
}

DWORD TitleIndex(const Json& item, const std::string& where, NameTable* names) {
  const Json* index = Member(item, "index");
  if (!index) Fail(where, "\"index\" is missing");
  const auto value = static_cast<DWORD>(UnsignedInteger(*index, where + ".index", kMaxTitleIndex));
  if (const Json* name = Member(item, "name")) {
    AddName(names, value, Text(*name, where + ".name"), where + ".name");
  }
  return value;
}

wlperf::CounterSpec ParseCounter(const Json& item, const std::string& where, NameTable* names) {
  if (!item.is_object()) Fail(where, "must be an object");
  wlperf::CounterSpec counter;
  counter.index = TitleIndex(item, where, names);
  std::optional<DWORD> type;
  if (const Json* value = Member(item, "type")) {
    if (value->is_string()) {
      type = CounterTypeFromName(value->get<std::string>());
      if (!type)
        Fail(where + ".type", "unknown counter type \"" + value->get<std::string>() + "\"");
    } else {
      type = static_cast<DWORD>(UnsignedInteger(*value, where + ".type", 0xFFFFFFFFu));
    }
  }
  std::optional<DWORD> size;
  if (const Json* value = Member(item, "size")) {
    size = static_cast<DWORD>(UnsignedInteger(*value, where + ".size", wlperf::kMaxCounterSize));
  }
  if (!size && type) size = CounterSizeOfType(*type);
  if (!size && type) Fail(where, "\"size\" is needed for a variable-length type");
  counter.size = size.value_or(4);
  counter.type =
      type.value_or(counter.size == 8 ? PERF_COUNTER_LARGE_RAWCOUNT : PERF_COUNTER_RAWCOUNT);
  return counter;
}

std::vector<int64_t> ParseValues(const Json* values, size_t counters, const std::string& where) {
  if (!values) Fail(where, "\"values\" is missing");
  if (!values->is_array()) Fail(where + ".values", "must be an array");
  if (values->size() != counters) {
    Fail(where + ".values", "has " + std::to_string(values->size()) + " values for " +
                                std::to_string(counters) + " counters");
  }
  std::vector<int64_t> out;
  out.reserve(counters);
  for (size_t k = 0; k < values->size(); ++k) {
    out.push_back(CounterValue((*values)[k], where + ".values[" + std::to_string(k) + "]"));
  }
  return out;
}

wlperf::ObjectSpec ParseObject(const Json& item, const std::string& where, NameTable* names) {
  if (!item.is_object()) Fail(where, "must be an object");
  wlperf::ObjectSpec object;
  object.index = TitleIndex(item, where, names);
  const Json* counters = Member(item, "counters");
  if (!counters || !counters->is_array()) Fail(where, "\"counters\" must be an array");
  for (size_t c = 0; c < counters->size(); ++c) {
    object.counters.push_back(
        ParseCounter((*counters)[c], where + ".counters[" + std::to_string(c) + "]", names));
  }
  const Json* instances = Member(item, "instances");
  if (!instances) {
    object.hasInstances = false;
    object.values = ParseValues(Member(item, "values"), object.counters.size(), where);
    return object;
  }
  if (!instances->is_array()) Fail(where + ".instances", "must be an array");
  for (size_t i = 0; i < instances->size(); ++i) {
    const std::string at = where + ".instances[" + std::to_string(i) + "]";
    const Json& instance = (*instances)[i];
    if (!instance.is_object()) Fail(at, "must be an object");
    const Json* name = Member(instance, "name");
    if (!name) Fail(at, "\"name\" is missing");
    object.instances.push_back(
        {Text(*name, at + ".name"),
         ParseValues(Member(instance, "values"), object.counters.size(), at)});
  }
  return object;
}

FixtureMemory ParseMemory(const Json& item) {
  if (!item.is_object()) Fail("memory", "must be an object");
  FixtureMemory memory;
  const auto field = [&](const char* key, uint64_t* out) {
    if (const Json* value = Member(item, key)) {
      *out = UnsignedInteger(*value, std::string("memory.") + key, UINT64_MAX);
    }
  };
  field("totalPhys", &memory.totalPhys);
  field("availPhys", &memory.availPhys);
  field("totalPageFile", &memory.totalPageFile);
  field("availPageFile", &memory.availPageFile);
  field("totalVirtual", &memory.totalVirtual);
  field("availVirtual", &memory.availVirtual);
  return memory;
}

void ParseDrives(const Json& item, std::map<std::string, FixtureDrive>* drives) {
  if (!item.is_object()) Fail("drives", "must be an object");
  for (const auto& [key, value] : item.items()) {
    const std::string where = "drives." + key;
    const std::string drive = NormalizeDrive(key);
    if (drive.empty()) Fail(where, "is not a drive letter");
    if (!value.is_object()) Fail(where, "must be an object");
    FixtureDrive sizes;
    const Json* total = Member(value, "totalBytes");
    const Json* free = Member(value, "freeBytes");
    if (!total || !free) Fail(where, "needs \"totalBytes\" and \"freeBytes\"");
    sizes.totalBytes = UnsignedInteger(*total, where + ".totalBytes", UINT64_MAX);
    sizes.freeBytes = UnsignedInteger(*free, where + ".freeBytes", UINT64_MAX);
    if (!drives->emplace(drive, sizes).second) Fail(where, "names a drive twice");
  }
}

void ParseDocument(const Json& document, Fixture* out) {
  if (!document.is_object()) Fail("", "the document must be a JSON object");
  if (const Json* value = Member(document, "perfFreq")) {
    out->perfFreq = SignedInteger(*value, "perfFreq");
  }
  if (const Json* value = Member(document, "perfTime")) {
    out->perfTime = SignedInteger(*value, "perfTime");
  }
  if (const Json* value = Member(document, "perfTime100nSec")) {
    out->perfTime100nSec = SignedInteger(*value, "perfTime100nSec");
  }
  if (const Json* value = Member(document, "memory")) out->memory = ParseMemory(*value);
  if (const Json* value = Member(document, "drives")) ParseDrives(*value, &out->drives);
  const Json* objects = Member(document, "objects");
  if (!objects) return;
  if (!objects->is_array()) Fail("objects", "must be an array");
  size_t blockBytes = 0;
  for (size_t o = 0; o < objects->size(); ++o) {
    const std::string where = "objects[" + std::to_string(o) + "]";
    out->objects.push_back(ParseObject((*objects)[o], where, &out->names));
    blockBytes += wlperf::ObjectLength(out->objects.back());
    if (blockBytes > kMaxBlockBytes) Fail(where, "the data would exceed 1 GiB");
  }
}

}  // namespace

std::string NormalizeDrive(std::string_view drive) {
  if (drive.empty() || !std::isalpha(static_cast<unsigned char>(drive[0]))) return {};
  std::string_view rest = drive.substr(1);
  if (!rest.empty() && rest[0] == ':') rest.remove_prefix(1);
  if (rest == "\\" || rest == "/") rest = {};
  if (!rest.empty()) return {};
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])))) +
         ":";
}

bool ParseFixture(std::string_view text, Fixture* out, std::string* error) {
  *out = Fixture{};
  try {
    if (text.size() > kMaxFixtureBytes) Fail("", "larger than 64 MiB");
    if (wltext::JsonNestingDepth(text) > kMaxFixtureDepth) Fail("", "nested too deeply");
    const Json document = Json::parse(text.begin(), text.end());
    ParseDocument(document, out);
    return true;
  } catch (const FixtureError& e) {
    *error = e.message;
  } catch (const Json::exception& e) {
    *error = e.what();
  }
  *out = Fixture{};
  return false;
}

}  // namespace wl::perf
