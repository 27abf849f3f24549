#include "library_builder.h"

#include "agent/hostres/sw_installed.h"
#include "agent/hostres/sw_run.h"

namespace hostmib {

namespace {

// SIZE limits of RFC 2790's text columns, in octets.
constexpr size_t kSWNameOctets = 64;
constexpr size_t kSWPathOctets = 128;

Cell Text(const CString& text, size_t maxOctets) {
  return TextCell(static_cast<LPCWSTR>(text), static_cast<size_t>(text.GetLength()), maxOctets);
}

Cell Product(const HROBJECTID& id) { return OidCell(ProductId(id.length, id.ids)); }

// A row with `columns` absent cells and a one-arc index; null for an index
// outside Integer32's 1..2147483647, which no instance can have.
Row* AddRow(NodeData& node, DWORD index, size_t columns) {
  if (index == 0 || index > 2147483647u) return nullptr;
  Row row;
  row.index[0] = index;
  row.indexLength = 1;
  row.cells.resize(columns);
  node.rows.push_back(std::move(row));
  return &node.rows.back();
}

void Fail(NodeData& node) {
  node.rows.clear();
  node.failed = true;
}

}  // namespace

void LibraryBuilder::Build(Family family, NodeData* nodes) {
  switch (family) {
    case kSystemFamily:
      BuildSystem(nodes);
      break;
    case kHardwareFamily:
      BuildHardware(nodes);
      break;
    case kSoftwareFamily:
      BuildSoftware(nodes);
      break;
    default:
      break;
  }
}

void LibraryBuilder::BuildSystem(NodeData*) {}

void LibraryBuilder::BuildHardware(NodeData*) {}

void LibraryBuilder::BuildSoftware(NodeData* nodes) {
  DWORD result = 0;
  if (softwareReady_) {
    result = CSWRunTable::hrRefresh();
  } else {
    result = CSWInstalledTable::hrInit();
    if (result == 0) result = CSWRunTable::hrInit();
    if (result == 0) result = CSWRunPerfTable().hrInit();
    softwareReady_ = result == 0;
  }
  if (result != 0) {
    for (Node node : {kSWRunScalars, kSWRunTable, kSWRunPerfTable, kSWInstalledTable}) {
      Fail(nodes[node]);
    }
  } else {
    DWORD osIndex = 0;
    CSWRunGroup::hrSWOSIndexGet(osIndex);
    Row scalars;
    scalars.index[0] = 0;
    scalars.cells = {IntegerCell(osIndex)};
    nodes[kSWRunScalars].rows.push_back(std::move(scalars));

    CSWRunTable run;
    DWORD index = 0;
    while (CSWRunEntry* entry = run.hrGetNext(index)) {
      if (Row* row = AddRow(nodes[kSWRunTable], index, 7)) {
        row->cells[0] = IntegerCell(index);
        row->cells[1] = Text(entry->hrSWRunNameGet(), kSWNameOctets);
        row->cells[2] = Product(entry->hrSWRunIDGet());
        row->cells[3] = Text(entry->hrSWRunPathGet(), kSWPathOctets);
        row->cells[4] = Text(entry->hrSWRunParametersGet(), kSWPathOctets);
        row->cells[5] = IntegerCell(entry->hrSWRunTypeGet());
        row->cells[6] = IntegerCell(entry->hrSWRunStatusGet());
      }
      if (index == 0) break;
    }
    CSWRunPerfTable perf;
    index = 0;
    while (CSWRunPerfEntry* entry = perf.hrGetNext(index)) {
      if (Row* row = AddRow(nodes[kSWRunPerfTable], index, 2)) {
        row->cells[0] = IntegerCell(entry->hrSWRunPerfCPUGet());
        row->cells[1] = IntegerCell(entry->hrSWRunPerfMemoryGet());
      }
      if (index == 0) break;
    }
    CSWInstalledTable installed;
    index = 0;
    while (CSWInstalledEntry* entry = installed.hrGetNext(index)) {
      if (Row* row = AddRow(nodes[kSWInstalledTable], index, 5)) {
        row->cells[0] = IntegerCell(index);
        row->cells[1] = Text(entry->hrSWInstalledNameGet(), kSWNameOctets);
        row->cells[2] = Product(entry->hrSWInstalledIDGet());
        row->cells[3] = IntegerCell(entry->hrSWInstalledTypeGet());
        const LONG offset = ZoneOffsetMinutes(entry->hrTimeZoneInfoGet(), entry->hrTimeZoneGet());
        row->cells[4] = OctetCell(DateAndTime(entry->hrSWInstalledDateGet(), offset));
      }
      if (index == 0) break;
    }
  }
  DWORD lastChange = 0;
  DWORD lastUpdate = 0;
  if (CSWInstalledGroup::hrSWInstalledLastChangeGet(lastChange) != 0 ||
      CSWInstalledGroup::hrSWInstalledLastUpdateTimeGet(lastUpdate) != 0) {
    Fail(nodes[kSWInstalledScalars]);
  } else {
    Row scalars;
    scalars.index[0] = 0;
    scalars.cells = {TimeTicksCell(lastChange), TimeTicksCell(lastUpdate)};
    nodes[kSWInstalledScalars].rows.push_back(std::move(scalars));
  }
}

}  // namespace hostmib
