// The shared machinery of the library's refreshable tables. Every table keeps
// its entries in one CObList (block size 10) held by a global pointer (see
// g_p_tableList); null means "not built yet". The list owns its entries.
//
// Table objects walk a list with a remembered position. Since a rebuild frees
// the nodes a position points into, every list that is freed bumps a
// generation number; a walker whose remembered generation differs from the
// current one ignores its position and starts over from the head. So a table
// object kept across a refresh is safe, merely one walk slower.
//
// Thread safety: none; the consumer calls the tables from one thread at a time.
#pragma once

#include <stddef.h>

#include "mfc/afx.h"
#include "mfc/afxcoll.h"
#include "win32/types.h"

// The index of an entry of a given table's class (0 for none).
using HRINDEXOF = DWORD (*)(const CObject* entry);
// Builds a new list into the reference (null on failure); a result code.
using HRBUILDTABLE = DWORD (*)(CObList*& list);
// Carries indexes from the old list over to the new one.
using HRUPDATEINDEX = void (*)(CObList*& oldList, CObList*& newList);

// Bumped whenever any table list is freed.
extern DWORD g_ul_tableGeneration;

// A table object's walking state: where its last walk stopped, and in which
// generation of the lists.
struct HrCursor {
  POSITION pos = nullptr;
  DWORD generation = 0;
};

// A new empty list with block size 10, or null when memory is short.
CObList* HrListNew();

// Deletes every entry (from the head) and the list, leaves the pointer null
// and bumps the generation. Nothing when the pointer is already null.
void HrListFree(CObList*& list);

// The first entry whose index is `index`; null for no list, an empty list, or
// no such entry (index 0 never matches a built entry).
CObject* HrListGet(const CObList* list, DWORD index, HRINDEXOF indexOf);

// The entry after the one with `index` in list order (the head for index 0);
// sets `index` to the returned entry's index, or to 0 and clears the cursor
// when there is none. A cursor of the current generation standing on the
// entry with `index` answers in one step; otherwise the list is walked.
CObject* HrListGetNext(const CObList* list, HrCursor& cursor, DWORD& index, HRINDEXOF indexOf);

// The number of entries, 0 without a list.
DWORD HrListCount(const CObList* list);

// Sets an entry's index.
using HRSETINDEX = void (*)(CObject* entry, DWORD index);
// Whether a new entry is the same thing as an old one (the table's key).
using HRSAMEKEY = bool (*)(const CObject* oldEntry, const CObject* newEntry);
// A hash of an entry's key: entries with the same key hash alike.
using HRKEYHASH = size_t (*)(const CObject* entry);

// Index keeping from an old list to a freshly built one: every new entry's
// index is cleared; each old entry, in order, gives its index to the first
// new entry with the same key (with `freeOnly`, the first such entry that has
// not taken an index yet, so that entries sharing a key keep distinct
// indexes); the new entries left without one are numbered on from the
// highest of the old indexes and the new list's size. Returns that last
// number. Either list may be null. With `keyHash` the new entries are found
// through a hash table (linear time) instead of a search of the new list per
// old entry (quadratic); the outcome is the same.
DWORD HrListUpdateIndex(const CObList* oldList, CObList* newList, HRINDEXOF indexOf,
                        HRSETINDEX setIndex, HRSAMEKEY sameKey, bool freeOnly,
                        HRKEYHASH keyHash = nullptr);

// Rebuilds a built table keeping indexes: nothing (0) when the list does not
// exist; otherwise builds a new list, and on success carries the indexes over
// (when `update` is given), frees the old list and installs the new one, 0.
// On a failed build the old list stays and the result is `failure`.
DWORD HrListRefresh(CObList*& list, HRBUILDTABLE build, HRUPDATEINDEX update, DWORD failure);
