// Control records and counter classes: tables, lists and list operations.
#include "agent/trend/control.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "agent/common/counter_classes.h"
#include "agent/trend/output.h"

namespace trend {

namespace {

static_assert(kNumClasses == perfwalk::kLastTrendClass);

// The counter class table's row of a trend class, or null.
const perfwalk::CounterClass* trendClass(DWORD classId) {
  return classId <= kNumClasses ? perfwalk::counterClass(static_cast<int>(classId)) : nullptr;
}

constexpr DWORD kIntervalTable[13] = {0,   5,    10,   15,    30,    60,   300,
                                      900, 1800, 3600, 14400, 28800, 86400};

bool inGroup(const Control* control, int instanceGroup) {
  return instanceGroup != 0 && classInstanceGroup(control->classId) == instanceGroup;
}

bool sameText(const char* stored, const char* text) {
  return text != nullptr && std::strncmp(stored, text, kInstanceNameBytes) == 0;
}

// The lookup of indexList (see control.h), left to the process at exit: the
// agent's unload may run after static objects are gone.
std::vector<ControlIndexEntry*>& lookup() {
  static auto* entries = new std::vector<ControlIndexEntry*>();
  return *entries;
}
bool lookupMade = false;

bool numberedAsControl(const ControlIndexEntry* e) {
  return e->control == nullptr || e->control->controlIndex == e->controlIndex;
}

// The lookup still describes indexList (as far as can be told without a walk).
bool lookupUsable() {
  if (!lookupMade) return false;
  const std::vector<ControlIndexEntry*>& entries = lookup();
  return entries.empty() ? indexList == nullptr : entries.front() == indexList;
}

bool numberBelow(const ControlIndexEntry* e, DWORD controlIndex) {
  return e->controlIndex < controlIndex;
}
bool numberAbove(DWORD controlIndex, const ControlIndexEntry* e) {
  return controlIndex < e->controlIndex;
}

// Links the entries, in number order (controlList order among equal
// numbers), as the whole of indexList.
void linkInNumberOrder(std::vector<ControlIndexEntry*>& made) {
  std::stable_sort(made.begin(), made.end(),
                   [](const ControlIndexEntry* a, const ControlIndexEntry* b) {
                     return a->controlIndex < b->controlIndex;
                   });
  ControlIndexEntry** link = &indexList;
  for (ControlIndexEntry* e : made) {
    *link = e;
    link = &e->next;
  }
  *link = nullptr;
}

}  // namespace

Control* controlList = nullptr;
ControlConfig* configList = nullptr;
ControlIndexEntry* indexList = nullptr;
DWORD nextControlIndex = 1;

const char* className(DWORD classId) {
  const perfwalk::CounterClass* row = trendClass(classId);
  return row != nullptr ? row->className : "";
}

int classInstanceGroup(DWORD classId) {
  return classId >= 1 && classId <= kNumClasses ? trendClass(classId)->instanceGroup : 0;
}

int classValueType(DWORD classId) {
  return classId >= 1 && classId <= kNumClasses ? trendClass(classId)->valueType : 0;
}

bool classIsMultiInstance(DWORD classId) { return classInstanceGroup(classId) != 0; }

DWORD classIdByName(const char* name) {
  if (name == nullptr) return 0;
  for (DWORD id = 1; id <= kNumClasses; ++id) {
    if (std::strcmp(className(id), name) == 0) return id;
  }
  return 0;
}

DWORD intervalSeconds(DWORD intervalIndex) {
  return intervalIndex >= 1 && intervalIndex <= 12 ? kIntervalTable[intervalIndex] : 0;
}

void numberControls() {
  DWORD largest = 0;
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlIndex > largest) largest = c->controlIndex;
  }
  DWORD next = largest + 1;
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlIndex == 0) c->controlIndex = next++;
  }
  nextControlIndex = next;
}

void insertControlSorted(Control* control) {
  if (control == nullptr) return;
  Control** link = &controlList;
  while (*link != nullptr) {
    const Control* x = *link;
    if ((x->classId == control->classId && x->controlIndex > control->controlIndex) ||
        x->classId > control->classId) {
      break;
    }
    link = &(*link)->next;
  }
  control->next = *link;
  *link = control;
}

void sortControls() {
  // In (class, number) order, equal ones in their list order: the order that
  // inserting them one by one with insertControlSorted gives.
  std::vector<Control*> controls;
  try {
    for (Control* c = controlList; c != nullptr; c = c->next) controls.push_back(c);
  } catch (const std::bad_alloc&) {
    Control* pending = controlList;
    controlList = nullptr;
    while (pending != nullptr) {
      Control* control = pending;
      pending = pending->next;
      control->next = nullptr;
      insertControlSorted(control);
    }
    return;
  }
  std::stable_sort(controls.begin(), controls.end(), [](const Control* a, const Control* b) {
    return a->classId != b->classId ? a->classId < b->classId : a->controlIndex < b->controlIndex;
  });
  Control** link = &controlList;
  for (Control* c : controls) {
    *link = c;
    link = &c->next;
  }
  *link = nullptr;
}

void insertIndexEntry(ControlIndexEntry* entry) {
  if (entry == nullptr) return;
  if (lookupUsable()) {
    std::vector<ControlIndexEntry*>& entries = lookup();
    auto at = std::upper_bound(entries.begin(), entries.end(), entry->controlIndex, numberAbove);
    ControlIndexEntry** link = at == entries.begin() ? &indexList : &(*(at - 1))->next;
    entry->next = *link;
    *link = entry;
    if (!numberedAsControl(entry)) {
      dropIndexLookup();
      return;
    }
    try {
      entries.insert(at, entry);
    } catch (const std::bad_alloc&) {
      dropIndexLookup();
    }
    return;
  }
  dropIndexLookup();
  ControlIndexEntry** link = &indexList;
  while (*link != nullptr && (*link)->controlIndex <= entry->controlIndex) {
    link = &(*link)->next;
  }
  entry->next = *link;
  *link = entry;
}

void buildIndexList() {
  // At start-up the list is empty: it is made at once, in the order that
  // inserting the entries one by one gives.
  std::vector<ControlIndexEntry*> made;
  bool atOnce = indexList == nullptr;
  if (atOnce) {
    size_t count = 0;
    for (const Control* c = controlList; c != nullptr; c = c->next) ++count;
    try {
      made.reserve(count);
    } catch (const std::bad_alloc&) {
      atOnce = false;
    }
  }
  for (Control* c = controlList; c != nullptr; c = c->next) {
    auto* entry = new (std::nothrow) ControlIndexEntry;
    if (entry == nullptr) break;
    entry->controlIndex = c->controlIndex;
    entry->control = c;
    if (atOnce) {
      made.push_back(entry);
    } else {
      insertIndexEntry(entry);
    }
  }
  if (atOnce) linkInNumberOrder(made);
  rebuildIndexLookup();
}

void rebuildIndexLookup() {
  std::vector<ControlIndexEntry*>& entries = lookup();
  entries.clear();
  lookupMade = false;
  try {
    for (ControlIndexEntry* e = indexList; e != nullptr; e = e->next) {
      if ((!entries.empty() && e->controlIndex < entries.back()->controlIndex) ||
          !numberedAsControl(e)) {
        entries.clear();
        return;
      }
      entries.push_back(e);
    }
  } catch (const std::bad_alloc&) {
    entries.clear();
    return;
  }
  lookupMade = true;
}

void dropIndexLookup() {
  std::vector<ControlIndexEntry*>().swap(lookup());
  lookupMade = false;
}

const ControlIndexEntry* indexEntryFrom(DWORD controlIndex) {
  if (!lookupUsable()) return indexList;
  const std::vector<ControlIndexEntry*>& entries = lookup();
  auto at = std::lower_bound(entries.begin(), entries.end(), controlIndex, numberBelow);
  return at == entries.end() ? nullptr : *at;
}

void appendControl(Control* control) {
  if (control == nullptr) return;
  control->next = nullptr;
  Control** link = &controlList;
  while (*link != nullptr) link = &(*link)->next;
  *link = control;
}

void deprecateControl(Control* control) {
  if (control == nullptr || control->controlStatus == kControlDeprecated) return;
  control->controlStatus = kControlDeprecated;
  control->headerSaved = false;
}

void revalidateControls(int instanceGroup, const char* instanceText) {
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (inGroup(c, instanceGroup) && sameText(c->instanceName, instanceText)) {
      c->controlStatus = kControlValid;
      c->headerSaved = false;
    }
  }
}

int instanceState(int instanceGroup, const char* instanceText) {
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    if (inGroup(c, instanceGroup) && sameText(c->instanceName, instanceText)) {
      return c->controlStatus != kControlDeprecated ? 1 : 0;
    }
  }
  return 1;
}

bool hasValidControl(const char* instanceText) {
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlStatus == kControlValid && sameText(c->instanceName, instanceText)) return true;
  }
  return false;
}

void dumpLists() {
  // Each section goes out as one message: the same text as line by line, but
  // one append to the trace log per section, not two per control.
  std::string text;
  char line[kInstanceNameBytes + 64];
  auto add = [&text, &line](int length) {
    if (length > 0) text.append(line, std::min(static_cast<size_t>(length), sizeof line - 1));
  };
  auto flush = [&text] {
    if (!text.empty()) traceLog("%s", text.c_str());
    text.clear();
  };
  // Instance names are bounded by their buffer even if a restored record
  // carries no terminator.
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    add(std::snprintf(line, sizeof line, "class:%d, %.*s, index: %d\n",
                      static_cast<int>(c->classId), kInstanceNameBytes, c->instanceName,
                      static_cast<int>(c->controlIndex)));
  }
  flush();
  traceLog("\n Control Index List:........\n");
  for (const ControlIndexEntry* e = indexList; e != nullptr; e = e->next) {
    add(std::snprintf(line, sizeof line, "index:%d, \n", static_cast<int>(e->controlIndex)));
  }
  flush();
  traceLog("   Control Record:\n");
  for (const ControlConfig* cfg = configList; cfg != nullptr; cfg = cfg->next) {
    traceLog("class: %d, interval: %d, bucket: %d, rising: %d, falling: %d\n",
             static_cast<int>(cfg->classId), static_cast<int>(cfg->intervalIndex),
             static_cast<int>(cfg->buckets), static_cast<int>(cfg->risingThreshold),
             static_cast<int>(cfg->fallingThreshold));
  }
  traceLog("   Deprecated Controls:\n");
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlStatus == kControlDeprecated) {
      add(std::snprintf(line, sizeof line, "class:%d, %.*s, index: %d\n",
                        static_cast<int>(c->classId), kInstanceNameBytes, c->instanceName,
                        static_cast<int>(c->controlIndex)));
    }
  }
  flush();
}

void freeLists() {
  while (configList != nullptr) {
    ControlConfig* next = configList->next;
    delete configList;
    configList = next;
  }
  while (controlList != nullptr) {
    Control* next = controlList->next;
    delete controlList;
    controlList = next;
  }
  while (indexList != nullptr) {
    ControlIndexEntry* next = indexList->next;
    delete indexList;
    indexList = next;
  }
  dropIndexLookup();
}

Control* findControl(DWORD controlIndex) {
  for (const ControlIndexEntry* e = indexEntryFrom(controlIndex); e != nullptr; e = e->next) {
    if (e->controlIndex == controlIndex && e->control != nullptr) return e->control;
    if (e->controlIndex > controlIndex) break;
  }
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlIndex == controlIndex) return c;
  }
  return nullptr;
}

}  // namespace trend
