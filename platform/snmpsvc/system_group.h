// The MIB-II system group (1.3.6.1.2.1.1) that the service serves itself:
// sysDescr, sysObjectID, sysUpTime, sysContact, sysName, sysLocation and
// sysServices. Every object is read-only here. Called from the agent thread
// only.
#pragma once

#include <functional>

#include "view_backend.h"

namespace snmpsvc {

struct SystemGroupValues {
  std::string description;  // sysDescr
  Oid objectId;             // sysObjectID
  std::string contact;      // sysContact
  std::string name;         // sysName
  std::string location;     // sysLocation
  uint32_t services = 76;   // sysServices
};

class SystemGroup : public ViewBackend {
 public:
  // `upTime` answers sysUpTime in hundredths of a second.
  SystemGroup(SystemGroupValues values, std::function<uint32_t()> upTime);

  const Oid& View() const override { return view_; }
  const std::string& Label() const override { return label_; }
  void Get(std::vector<ViewRequest>& requests, ProtocolVersion version) override;
  void GetNext(std::vector<ViewRequest>& requests, ProtocolVersion version) override;
  void Set(std::vector<ViewRequest>& requests, ProtocolVersion version) override;

 private:
  // The object number (1..7) of an instance name, or 0.
  uint32_t ObjectOf(const Oid& name) const;
  Value ValueOf(uint32_t object) const;

  SystemGroupValues values_;
  std::function<uint32_t()> upTime_;
  Oid view_{1, 3, 6, 1, 2, 1, 1};
  std::string label_{"system group"};
};

// sysDescr text for this machine (from uname) and the service.
std::string DescribeSystem();
// The host's name as sysName reports it.
std::string HostName();

}  // namespace snmpsvc
