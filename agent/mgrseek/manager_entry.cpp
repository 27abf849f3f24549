#include "manager_entry.h"

#include <cctype>
#include <cstring>

namespace mgrseek {

bool SameDestination(const ManagerEntry& a, const ManagerEntry& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == kIpxAddress) {
    return std::memcmp(a.network, b.network, sizeof a.network) == 0 &&
           std::memcmp(a.node, b.node, sizeof a.node) == 0;
  }
  return a.valueType == b.valueType && a.destination == b.destination;
}

void InsertFront(ManagerEntry** list, ManagerEntry* entry) {
  entry->next = *list;
  *list = entry;
}

ManagerEntry* FindEqual(ManagerEntry* list, const ManagerEntry& entry) {
  for (ManagerEntry* e = list; e != nullptr; e = e->next) {
    if (SameDestination(*e, entry)) return e;
  }
  return nullptr;
}

bool RemoveFirstEqual(ManagerEntry** list, const ManagerEntry& entry) {
  for (ManagerEntry** link = list; *link != nullptr; link = &(*link)->next) {
    if (SameDestination(**link, entry)) {
      ManagerEntry* gone = *link;
      *link = gone->next;
      delete gone;
      return true;
    }
  }
  return false;
}

size_t CountEntries(const ManagerEntry* list) {
  size_t count = 0;
  for (; list != nullptr; list = list->next) ++count;
  return count;
}

void FreeList(ManagerEntry** list) {
  while (*list != nullptr) {
    ManagerEntry* gone = *list;
    *list = gone->next;
    delete gone;
  }
}

std::string IpxText(const ManagerEntry& entry) {
  return std::string(entry.network, sizeof entry.network) + "." +
         std::string(entry.node, sizeof entry.node);
}

bool IsStrictIpxText(const char* text, size_t length) {
  if (length != 21 || text[8] != '.') return false;
  for (size_t i = 0; i < length; ++i) {
    if (i != 8 && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace mgrseek
