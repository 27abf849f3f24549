#include "library_builder.h"

#include <cstdio>
#include <string>

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/partition_table.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/storage_table.h"
#include "agent/hostres/sw_installed.h"
#include "agent/hostres/sw_run.h"
#include "agent/hostres/system_group.h"

namespace hostmib {

namespace {

// SIZE limits of RFC 2790's text columns, in octets.
constexpr size_t kSWNameOctets = 64;
constexpr size_t kSWPathOctets = 128;
constexpr size_t kStorageDescrOctets = 255;
constexpr size_t kDeviceDescrOctets = 64;
constexpr size_t kLabelOctets = 128;  // partition labels, mount points, load parameters

std::vector<UINT> Under(std::initializer_list<UINT> tail, DWORD last) {
  std::vector<UINT> name = {1, 3, 6, 1, 2, 1, 25};
  name.insert(name.end(), tail);
  name.push_back(last);
  return name;
}

Cell Text(const CString& text, size_t maxOctets) {
  return TextCell(static_cast<LPCWSTR>(text), static_cast<size_t>(text.GetLength()), maxOctets);
}

Cell Product(const HROBJECTID& id) { return OidCell(ProductId(id.length, id.ids)); }

// More rows than any table of a host can hold: a walk of the library that
// goes on past this is taken as running in circles and cut short.
constexpr size_t kMaxRows = 1u << 20;

// A row with `columns` absent cells and a one-arc index; null for an index
// outside Integer32's 1..2147483647, which no instance can have, or past
// kMaxRows.
Row* AddRow(NodeData& node, DWORD index, size_t columns) {
  if (index == 0 || index > 2147483647u || node.rows.size() >= kMaxRows) return nullptr;
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

// Copies the rows of a table object's walk, in the library's order, into
// `node`: `fill` gets each entry, its index and its new row of `columns`
// cells (rows AddRow refuses are skipped). A walk that never ends is cut
// after kMaxRows steps.
template <typename Table, typename Fill>
void CopyRows(Table& table, NodeData& node, size_t columns, Fill fill) {
  DWORD index = 0;
  size_t steps = 0;
  while (auto* entry = table.hrGetNext(index)) {
    if (Row* row = AddRow(node, index, columns)) fill(entry, index, row);
    if (index == 0 || steps++ >= kMaxRows) break;
  }
}

// The kernel's command line, as the system's initial load parameters when the
// library has none: at most `maxOctets`, cut before a partial UTF-8 sequence.
std::string KernelCommandLine(size_t maxOctets) {
  std::string line;
  if (FILE* file = std::fopen("/proc/cmdline", "rb")) {
    char buffer[4096];
    const size_t got = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    line.assign(buffer, got);
  }
  const size_t end = line.find_first_of(std::string("\n\0", 2));
  if (end != std::string::npos) line.resize(end);
  if (line.size() > maxOctets) {
    size_t cut = maxOctets;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
  }
  return line;
}

// The library leaves hrSystemInitialLoadDevice at 0, which the MIB does not
// allow (1..2147483647). On Linux the system loads from the disk that holds
// the root file system: that disk's device row, or 0 when it has none.
DWORD RootDiskDeviceIndex() {
  if (CFileSysTable::hrInit() != 0 || CDeviceTable::hrInit() != 0) return 0;
  CFileSysTable fileSystems;
  DWORD index = 0;
  while (CFileSysEntry* entry = fileSystems.hrGetNext(index)) {
    if (entry->hrFSMountPointGet() == u"/") {
      return CPartitionTable::DeviceIndexGet(entry->HarddiskGet());
    }
  }
  return 0;
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

void LibraryBuilder::BuildSystem(NodeData* nodes) {
  Row row;
  row.index[0] = 0;
  row.cells.resize(7);
  DWORD uptime = 0;
  row.cells[0] =
      CSystemGroup::hrSystemUptimeGet(uptime) == 0 ? TimeTicksCell(uptime) : FailedCell();
  SYSTEMTIME date{};
  TIME_ZONE_INFORMATION zone{};
  HRTimeZone kind = 0;
  row.cells[1] = CSystemGroup::hrSystemDateGet(date, zone, kind) == 0
                     ? OctetCell(DateAndTime(date, ZoneOffsetMinutes(zone, kind)))
                     : FailedCell();
  DWORD loadDevice = 0;
  if (CSystemGroup::hrSystemInitialLoadDeviceGet(loadDevice) != 0) {
    row.cells[2] = FailedCell();
  } else {
    if (loadDevice == 0) loadDevice = RootDiskDeviceIndex();
    // Without a device to name the object is absent rather than out of range.
    if (loadDevice != 0) row.cells[2] = IntegerCell(loadDevice);
  }
  CString parameters;
  if (CSystemGroup::hrSystemInitialLoadParametersGet(parameters) != 0) {
    row.cells[3] = FailedCell();
  } else if (parameters.IsEmpty()) {
    row.cells[3] = OctetCell(KernelCommandLine(kLabelOctets));
  } else {
    row.cells[3] = Text(parameters, kLabelOctets);
  }
  const auto now = std::chrono::steady_clock::now();
  if (!countsRead_ || now - countsReadAt_ >= countsAge_) {
    DWORD users = 0;
    users_ = CSystemGroup::hrSystemNumUsersGet(users) == 0 ? Gauge32Cell(users) : FailedCell();
    DWORD processes = 0;
    processes_ =
        CSystemGroup::hrSystemProcessesGet(processes) == 0 ? Gauge32Cell(processes) : FailedCell();
    countsRead_ = true;
    countsReadAt_ = now;
  }
  row.cells[4] = users_;
  row.cells[5] = processes_;
  DWORD maxProcesses = 0;
  row.cells[6] = CSystemGroup::hrSystemMaxProcessesGet(maxProcesses) == 0
                     ? IntegerCell(maxProcesses)
                     : FailedCell();
  nodes[kSystemScalars].rows.push_back(std::move(row));
}

void LibraryBuilder::BuildHardware(NodeData* nodes) {
  enum { kStorage, kFileSys, kDevice, kPartition };
  bool failed[4] = {};
  const bool refresh = hardwareReady_[kStorage] || hardwareReady_[kFileSys] ||
                       hardwareReady_[kDevice] || hardwareReady_[kPartition];
  // A table's hrInit before anything else of it; one whose hrInit failed is
  // tried again at every build.
  for (int t = kStorage; t <= kPartition; ++t) {
    if (hardwareReady_[t]) continue;
    DWORD result = 0;
    switch (t) {
      case kStorage:
        result = CStorageTable::hrInit();
        break;
      case kFileSys:
        result = CFileSysTable::hrInit();
        break;
      case kDevice:
        result = CDeviceTable::hrInit();
        break;
      default:
        result = CPartitionTable().hrInit();
        break;
    }
    hardwareReady_[t] = result == 0;
    failed[t] = result != 0;
  }
  if (refresh) {
    // One rebuild of the four; the chain stops at the first table that
    // fails, which keeps its old rows (not served), and so do the ones after
    // it (served as they were).
    switch (CStorageTable::hrRefresh()) {
      case 0:
        break;
      case HR_RESULT_STORAGE_REFRESH:
        failed[kStorage] = true;
        break;
      case HR_RESULT_FILESYS_REFRESH:
        failed[kFileSys] = true;
        break;
      case HR_RESULT_DEVICE_REFRESH:
        failed[kDevice] = true;
        break;
      case HR_RESULT_PARTITION_REFRESH:
        failed[kPartition] = true;
        break;
      default:
        failed[kStorage] = failed[kFileSys] = failed[kDevice] = failed[kPartition] = true;
        break;
    }
  }

  DWORD memory = 0;
  CStorageGroup::hrMemorySizeGet(memory);
  Row scalars;
  scalars.index[0] = 0;
  scalars.cells = {Cell(), IntegerCell(memory)};
  nodes[kStorageScalars].rows.push_back(std::move(scalars));

  if (failed[kStorage]) {
    Fail(nodes[kStorageTable]);
  } else {
    CStorageTable table;
    CopyRows(table, nodes[kStorageTable], 7, [&](CStorageEntry* entry, DWORD index, Row* row) {
      row->cells[0] = IntegerCell(index);
      row->cells[1] = OidCell(Under({2, 1}, entry->hrStorageTypeGet()));
      row->cells[2] = Text(entry->hrStorageDescrGet(), kStorageDescrOctets);
      row->cells[3] = IntegerCell(entry->hrStorageAllocationUnitsGet());
      row->cells[4] = IntegerCell(entry->hrStorageSizeGet());
      row->cells[5] = IntegerCell(entry->hrStorageUsedGet());
      row->cells[6] = Counter32Cell(entry->hrStorageAllocationFailuresGet());
    });
  }

  if (failed[kDevice]) {
    for (Node node :
         {kDeviceTable, kProcessorTable, kNetworkTable, kPrinterTable, kDiskStorageTable}) {
      Fail(nodes[node]);
    }
  } else {
    CDeviceTable table;
    CopyRows(table, nodes[kDeviceTable], 6, [&](CDeviceEntry* entry, DWORD index, Row* row) {
      row->cells[0] = IntegerCell(index);
      row->cells[1] = OidCell(Under({3, 1}, entry->hrDeviceTypeGet()));
      row->cells[2] = Text(entry->hrDeviceDescrGet(), kDeviceDescrOctets);
      row->cells[3] = Product(entry->hrDeviceIDGet());
      row->cells[4] = IntegerCell(entry->hrDeviceStatusGet());
      row->cells[5] = Counter32Cell(entry->hrDeviceErrorsGet());
      // The extension row's class follows the device's type; each is
      // checked by its run-time type before it is read.
      CObject* extended = entry->hrExtendedEntryGet();
      if (auto* processor = dynamic_cast<CProcessorEntry*>(extended)) {
        if (Row* x = AddRow(nodes[kProcessorTable], index, 2)) {
          const DWORD load = processor->hrProcessorLoadGet();
          x->cells[0] = Product(processor->hrProcessorFrwIDGet());
          x->cells[1] = IntegerCell(load > 100 ? 100 : load);
        }
      } else if (auto* network = dynamic_cast<CNetworkEntry*>(extended)) {
        if (Row* x = AddRow(nodes[kNetworkTable], index, 1)) {
          x->cells[0] = IntegerCell(network->hrNetworkIfIndexGet());
        }
      } else if (auto* printer = dynamic_cast<CPrinterEntry*>(extended)) {
        if (Row* x = AddRow(nodes[kPrinterTable], index, 2)) {
          x->cells[0] = IntegerCell(printer->hrPrinterStatusGet());
          x->cells[1] = BitsCell(printer->hrPrinterDetectedErrorStateGet());
        }
      } else if (auto* disk = dynamic_cast<CDiskStorageEntry*>(extended)) {
        if (Row* x = AddRow(nodes[kDiskStorageTable], index, 4)) {
          x->cells[0] = IntegerCell(disk->hrDiskStorageAccessGet());
          x->cells[1] = IntegerCell(disk->hrDiskStorageMediaGet());
          x->cells[2] = TruthCell(disk->hrDiskStorageRemoveableGet());
          x->cells[3] = IntegerCell(disk->hrDiskStorageCapacityGet());
        }
      }
    });
  }

  if (failed[kPartition]) {
    Fail(nodes[kPartitionTable]);
  } else {
    CPartitionTable table;
    DWORD device = 0;
    DWORD partition = 0;
    size_t steps = 0;
    while (CPartitionEntry* entry = table.hrGetNext(device, partition)) {
      if (device != 0 && device <= 2147483647u && partition != 0 && partition <= 2147483647u) {
        Row row;
        row.index = {device, partition};
        row.indexLength = 2;
        row.cells = {IntegerCell(partition), Text(entry->hrPartitionLabelGet(), kLabelOctets),
                     NumberOctetsCell(entry->hrPartitionIDGet()),
                     IntegerCell(entry->hrPartitionSizeGet()),
                     IntegerCell(entry->hrPartitionFSIndexGet())};
        nodes[kPartitionTable].rows.push_back(std::move(row));
      }
      if ((device == 0 && partition == 0) || steps++ >= kMaxRows) break;
    }
  }

  if (failed[kFileSys]) {
    Fail(nodes[kFSTable]);
  } else {
    CFileSysTable table;
    CopyRows(table, nodes[kFSTable], 9, [&](CFileSysEntry* entry, DWORD index, Row* row) {
      const LONG offset = ZoneOffsetMinutes(entry->hrTimeZoneInfoGet(), entry->hrTimeZoneGet());
      row->cells[0] = IntegerCell(index);
      row->cells[1] = Text(entry->hrFSMountPointGet(), kLabelOctets);
      row->cells[2] = Text(entry->hrFSRemoteMountPointGet(), kLabelOctets);
      row->cells[3] = OidCell(Under({3, 9}, entry->hrFSTypeGet()));
      row->cells[4] = IntegerCell(entry->hrFSAccessGet());
      row->cells[5] = TruthCell(entry->hrFSBootableGet());
      row->cells[6] = IntegerCell(entry->hrFSStorageIndexGet());
      row->cells[7] = OctetCell(DateAndTime(entry->hrFSLastFullBackupDateGet(), offset));
      row->cells[8] = OctetCell(DateAndTime(entry->hrFSLastPartialBackupDateGet(), offset));
    });
  }
}

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
    // Linux has no process that is the operating system itself; init, process
    // 1, stands for it when the library names none (0 is outside the MIB's range).
    const bool initListed = CSWRunTable().hrGet(1) != nullptr;
    if (osIndex == 0 && initListed) osIndex = 1;
    scalars.cells.resize(1);
    if (osIndex != 0) scalars.cells[0] = IntegerCell(osIndex);
    nodes[kSWRunScalars].rows.push_back(std::move(scalars));

    CSWRunTable run;
    CopyRows(run, nodes[kSWRunTable], 7, [&](CSWRunEntry* entry, DWORD index, Row* row) {
      row->cells[0] = IntegerCell(index);
      row->cells[1] = Text(entry->hrSWRunNameGet(), kSWNameOctets);
      row->cells[2] = Product(entry->hrSWRunIDGet());
      row->cells[3] = Text(entry->hrSWRunPathGet(), kSWPathOctets);
      row->cells[4] = Text(entry->hrSWRunParametersGet(), kSWPathOctets);
      row->cells[5] = IntegerCell(entry->hrSWRunTypeGet());
      row->cells[6] = IntegerCell(entry->hrSWRunStatusGet());
    });
    CSWRunPerfTable perf;
    CopyRows(perf, nodes[kSWRunPerfTable], 2, [&](CSWRunPerfEntry* entry, DWORD, Row* row) {
      row->cells[0] = IntegerCell(entry->hrSWRunPerfCPUGet());
      row->cells[1] = IntegerCell(entry->hrSWRunPerfMemoryGet());
    });
    CSWInstalledTable installed;
    CopyRows(installed, nodes[kSWInstalledTable], 5,
             [&](CSWInstalledEntry* entry, DWORD index, Row* row) {
               row->cells[0] = IntegerCell(index);
               row->cells[1] = Text(entry->hrSWInstalledNameGet(), kSWNameOctets);
               row->cells[2] = Product(entry->hrSWInstalledIDGet());
               row->cells[3] = IntegerCell(entry->hrSWInstalledTypeGet());
               const LONG offset =
                   ZoneOffsetMinutes(entry->hrTimeZoneInfoGet(), entry->hrTimeZoneGet());
               row->cells[4] = OctetCell(DateAndTime(entry->hrSWInstalledDateGet(), offset));
             });
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
