// The SNMP service's trap destinations for the community "public": reading
// them into a list and writing a list back. Every value is kept whole: names
// and data of any length, any type.
#pragma once

#include "agent/mgrseek/manager_entry.h"

namespace mgrseek {

constexpr const char* kTrapKeyPath =
    "System\\CurrentControlSet\\Services\\SNMP\\Parameters\\TrapConfiguration\\public";

// Every value of the key, each inserted at the front of *list: a REG_SZ value
// in the strict IPX text form as an IPX address, anything else as it is.
// ERROR_SUCCESS also when the key does not exist (nothing read); any other
// error leaves a partial list that must not be written back.
LONG readTrapKey(ManagerEntry** list);

// Replaces every value of the key (created when missing, class "public") by
// the list, front to back, named "1", "2", ...: IPX addresses as REG_SZ text,
// other destinations with their own type and bytes. Call inside a registry
// transaction so that a failure or a kill leaves the key as it was.
LONG writeTrapKey(const ManagerEntry* list);

}  // namespace mgrseek
