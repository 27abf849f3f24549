// One trap destination of the discovery service and the singly linked lists
// that hold them. Every list owns its entries (allocated one by one); every
// insertion is at the front. Not thread-safe: each list has one guard (see
// discovery.h).
#pragma once

#include <string>

#include "win32/types.h"

namespace mgrseek {

constexpr DWORD kIpxAddress = 1;        // `network` and `node` hold it
constexpr DWORD kOtherDestination = 2;  // `destination` holds it

struct ManagerEntry {
  DWORD kind = kIpxAddress;
  std::string valueName;    // the registry value it was read from, if any
  char network[8] = {};     // IPX network number as text, not terminated
  char node[12] = {};       // IPX node number as text, not terminated
  DWORD valueType = 0;      // kind 2: the registry type of the value
  std::string destination;  // kind 2: the value's data, every byte as read
  ManagerEntry* next = nullptr;
};

// Same kind and, for IPX addresses, the same network and node bytes; for
// other destinations the same type and data (case matters in both).
bool sameDestination(const ManagerEntry& a, const ManagerEntry& b);

void insertFront(ManagerEntry** list, ManagerEntry* entry);
// The first entry equal to `entry`, or null.
ManagerEntry* findEqual(ManagerEntry* list, const ManagerEntry& entry);
// Unlinks and frees the first entry equal to `entry`; false when none is.
bool removeFirstEqual(ManagerEntry** list, const ManagerEntry& entry);
size_t countEntries(const ManagerEntry* list);
void freeList(ManagerEntry** list);

// The registry text of an IPX address: network, ".", node (21 characters).
std::string ipxText(const ManagerEntry& entry);
// True for exactly 8 hexadecimal digits, ".", 12 hexadecimal digits.
bool isStrictIpxText(const char* text, size_t length);

}  // namespace mgrseek
