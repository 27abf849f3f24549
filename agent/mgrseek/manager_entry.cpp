#include "manager_entry.h"

#include <cctype>
#include <cstring>

namespace mgrseek {

bool sameDestination(const ManagerEntry& a, const ManagerEntry& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == kIpxAddress) {
    return std::memcmp(a.network, b.network, sizeof a.network) == 0 &&
           std::memcmp(a.node, b.node, sizeof a.node) == 0;
  }
  return a.valueType == b.valueType && a.destination == b.destination;
}

void insertFront(ManagerEntry** list, ManagerEntry* entry) {
  entry->next = *list;
  *list = entry;
}

ManagerEntry* findEqual(ManagerEntry* list, const ManagerEntry& entry) {
  for (ManagerEntry* e = list; e != nullptr; e = e->next) {
    if (sameDestination(*e, entry)) return e;
  }
  return nullptr;
}

bool removeFirstEqual(ManagerEntry** list, const ManagerEntry& entry) {
  for (ManagerEntry** link = list; *link != nullptr; link = &(*link)->next) {
    if (sameDestination(**link, entry)) {
      ManagerEntry* gone = *link;
      *link = gone->next;
      delete gone;
      return true;
    }
  }
  return false;
}

size_t countEntries(const ManagerEntry* list) {
  size_t count = 0;
  for (; list != nullptr; list = list->next) ++count;
  return count;
}

void freeList(ManagerEntry** list) {
  while (*list != nullptr) {
    ManagerEntry* gone = *list;
    *list = gone->next;
    delete gone;
  }
}

std::string ipxText(const ManagerEntry& entry) {
  return std::string(entry.network, sizeof entry.network) + "." +
         std::string(entry.node, sizeof entry.node);
}

bool isStrictIpxText(const char* text, size_t length) {
  if (length != 21 || text[8] != '.') return false;
  for (size_t i = 0; i < length; ++i) {
    if (i != 8 && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace mgrseek
