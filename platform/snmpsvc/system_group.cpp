#include "system_group.h"

#include <sys/utsname.h>
#include <unistd.h>

namespace snmpsvc {

namespace {
constexpr uint32_t kObjectCount = 7;
}

SystemGroup::SystemGroup(SystemGroupValues values, std::function<uint32_t()> upTime)
    : values_(std::move(values)), upTime_(std::move(upTime)) {}

uint32_t SystemGroup::ObjectOf(const Oid& name) const {
  if (name.size() != view_.size() + 2 || !OidStartsWith(name, view_)) return 0;
  uint32_t object = name[view_.size()];
  if (object < 1 || object > kObjectCount || name.back() != 0) return 0;
  return object;
}

Value SystemGroup::ValueOf(uint32_t object) const {
  switch (object) {
    case 1:
      return Value::Octets(values_.description);
    case 2:
      return Value::ObjectId(values_.objectId);
    case 3:
      return Value::Unsigned(tag::kTimeTicks, upTime_());
    case 4:
      return Value::Octets(values_.contact);
    case 5:
      return Value::Octets(values_.name);
    case 6:
      return Value::Octets(values_.location);
    default:
      return Value::Integer(static_cast<int32_t>(values_.services));
  }
}

void SystemGroup::Get(std::vector<ViewRequest>& requests, ProtocolVersion version) {
  for (ViewRequest& request : requests) {
    uint32_t object = ObjectOf(request.bind.name);
    if (object != 0) {
      request.bind.value = ValueOf(object);
      continue;
    }
    if (version == ProtocolVersion::kV1) {
      request.error = status::kNoSuchName;
      return;
    }
    const Oid& name = request.bind.name;
    bool knownObject = name.size() > view_.size() + 1 && OidStartsWith(name, view_) &&
                       name[view_.size()] >= 1 && name[view_.size()] <= kObjectCount;
    request.bind.value = Value();
    request.bind.value.type = knownObject ? tag::kNoSuchInstance : tag::kNoSuchObject;
  }
}

void SystemGroup::GetNext(std::vector<ViewRequest>& requests, ProtocolVersion) {
  for (ViewRequest& request : requests) {
    request.exhausted = true;
    for (uint32_t object = 1; object <= kObjectCount; ++object) {
      Oid candidate = view_;
      candidate.push_back(object);
      candidate.push_back(0);
      if (CompareOid(candidate, request.bind.name) > 0) {
        request.bind.name = std::move(candidate);
        request.bind.value = ValueOf(object);
        request.exhausted = false;
        break;
      }
    }
  }
}

void SystemGroup::Set(std::vector<ViewRequest>& requests, ProtocolVersion version) {
  if (requests.empty()) return;
  ViewRequest& first = requests.front();
  if (version == ProtocolVersion::kV1) {
    first.error = status::kNoSuchName;
  } else {
    first.error = ObjectOf(first.bind.name) != 0 ? status::kNotWritable : status::kNoCreation;
  }
}

std::string DescribeSystem() {
  struct utsname system;
  if (uname(&system) != 0) return "Wardenline SNMP service";
  return std::string("Wardenline SNMP service - ") + system.sysname + " " + system.release + " " +
         system.version + " " + system.machine;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace snmpsvc
