#include "agent/hostres/table_list.h"

#include <unordered_map>
#include <vector>

DWORD g_ul_tableGeneration = 1;

CObList* HrListNew() { return new CObList(10); }

void HrListFree(CObList*& list) {
  if (list == nullptr) return;
  while (!list->IsEmpty()) delete list->RemoveHead();
  delete list;
  list = nullptr;
  ++g_ul_tableGeneration;
}

CObject* HrListGet(const CObList* list, DWORD index, HRINDEXOF indexOf) {
  if (list == nullptr) return nullptr;
  POSITION pos = list->GetHeadPosition();
  while (pos != nullptr) {
    CObject* entry = list->GetNext(pos);
    if (entry != nullptr && indexOf(entry) == index) return entry;
  }
  return nullptr;
}

CObject* HrListGetNext(const CObList* list, HrCursor& cursor, DWORD& index, HRINDEXOF indexOf) {
  CObject* result = nullptr;
  if (list != nullptr && !list->IsEmpty()) {
    if (cursor.generation != g_ul_tableGeneration) cursor.pos = nullptr;
    cursor.generation = g_ul_tableGeneration;
    if (index == 0) {
      cursor.pos = list->GetHeadPosition();
      result = list->GetAt(cursor.pos);
    } else {
      bool found = false;
      if (cursor.pos != nullptr) {
        POSITION pos = cursor.pos;
        const CObject* taken = list->GetNext(pos);
        if (pos != nullptr && taken != nullptr && indexOf(taken) == index) {
          cursor.pos = pos;
          result = list->GetAt(pos);
          found = true;
        }
      }
      if (!found) {
        POSITION pos = list->GetHeadPosition();
        while (pos != nullptr) {
          const CObject* taken = list->GetNext(pos);
          if (pos != nullptr && taken != nullptr && indexOf(taken) == index) {
            cursor.pos = pos;
            result = list->GetAt(pos);
            break;
          }
        }
      }
    }
  }
  if (result != nullptr) {
    index = indexOf(result);
  } else {
    index = 0;
    cursor.pos = nullptr;
  }
  return result;
}

DWORD HrListCount(const CObList* list) {
  return list == nullptr ? 0 : static_cast<DWORD>(list->GetCount());
}

DWORD HrListUpdateIndex(const CObList* oldList, CObList* newList, HRINDEXOF indexOf,
                        HRSETINDEX setIndex, HRSAMEKEY sameKey, bool freeOnly, HRKEYHASH keyHash) {
  if (newList == nullptr) return 0;
  // The new entries in list order, by key hash when there is one.
  std::unordered_map<size_t, std::vector<CObject*>> byHash;
  std::vector<CObject*> all;
  POSITION pos = newList->GetHeadPosition();
  while (pos != nullptr) {
    CObject* fresh = newList->GetNext(pos);
    setIndex(fresh, 0);
    if (keyHash != nullptr) {
      byHash[keyHash(fresh)].push_back(fresh);
    } else {
      all.push_back(fresh);
    }
  }
  DWORD last = static_cast<DWORD>(newList->GetCount());
  POSITION oldPos = oldList == nullptr ? nullptr : oldList->GetHeadPosition();
  while (oldPos != nullptr) {
    const CObject* old = oldList->GetNext(oldPos);
    const DWORD oldIndex = indexOf(old);
    if (oldIndex > last) last = oldIndex;
    const std::vector<CObject*>* candidates = &all;
    if (keyHash != nullptr) {
      const auto bucket = byHash.find(keyHash(old));
      if (bucket == byHash.end()) continue;
      candidates = &bucket->second;
    }
    for (CObject* fresh : *candidates) {
      if (freeOnly && indexOf(fresh) != 0) continue;
      if (sameKey(old, fresh)) {
        setIndex(fresh, oldIndex);
        break;
      }
    }
  }
  pos = newList->GetHeadPosition();
  while (pos != nullptr) {
    CObject* fresh = newList->GetNext(pos);
    if (indexOf(fresh) == 0) setIndex(fresh, ++last);
  }
  return last;
}

DWORD HrListRefresh(CObList*& list, HRBUILDTABLE build, HRUPDATEINDEX update, DWORD failure) {
  if (list == nullptr) return 0;
  CObList* fresh = nullptr;
  if (build(fresh) != 0 || fresh == nullptr) return failure;
  if (update != nullptr) update(list, fresh);
  HrListFree(list);
  list = fresh;
  return 0;
}
