// The device table's loaders: the steps of a build that complete the Win32
// provider's rows (processors, printers, disks, network devices, the
// keyboard) and add the rows that only the registry provider knows (video
// adapters, parallel ports, pointing devices, serial ports).
#include <cstring>

#include "agent/hostres/device_table.h"
#include "agent/hostres/disk_signature.h"
#include "agent/hostres/record_text.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/trace_log.h"
#include "platform/providers/regprob/regprob.h"
#include "platform/providers/winprob/winprob.h"

namespace {

// One answer of a provider list call, handed back to its provider when it
// goes. A negative count, or records missing for a positive one, is a
// failure.
template <typename Record>
class CProviderList {
 public:
  template <typename Call>
  CProviderList(Call call, bool registry) : m_b_registry(registry) {
    DWORD unused = 0;
    m_i_count = call(registry ? g_w_regHandle : g_w_w32Handle, &m_p_records, &unused);
    if (m_i_count > 0 && m_p_records == nullptr) m_i_count = -1;
  }
  ~CProviderList() {
    if (m_p_records == nullptr) return;
    if (m_b_registry) {
      RegFreeResource(g_w_regHandle, m_p_records);
    } else {
      W32FreeResource(g_w_w32Handle, m_p_records);
    }
  }
  CProviderList(const CProviderList&) = delete;
  CProviderList& operator=(const CProviderList&) = delete;

  int Count() const { return m_i_count; }
  bool Failed() const { return m_i_count < 0; }
  const Record& operator[](int i) const { return m_p_records[i]; }

 private:
  Record* m_p_records = nullptr;
  int m_i_count = 0;
  bool m_b_registry;
};

CRIDOVOPROCESS* ProcessorMonitor() {
  CS_ridovoApp* app = RidovoApp();
  return app != nullptr ? app->ProcessGet() : nullptr;
}

// Firmware IDs are equal when the lengths are and the sub-identifiers up to
// that length are (a length above 20 compares the 20 that exist).
bool SameFirmwareId(const HROBJECTID& row, const HROBJECTID& record) {
  if (row.length != record.length) return false;
  const DWORD length = record.length < 20 ? record.length : 20;
  for (DWORD i = 0; i < length; ++i) {
    if (row.ids[i] != record.ids[i]) return false;
  }
  return true;
}

// The processor number in a description "Processor <n>...": n as its
// decimal digits read, 0 without the prefix. A number beyond an int gives -1;
// the monitor knows processors 0..31 and gives any other a load of 0.
int ProcessorNumber(const CString& description, const CString& prefix) {
  const int length = prefix.GetLength();
  if (description.GetLength() < length ||
      memcmp(static_cast<LPCWSTR>(description), static_cast<LPCWSTR>(prefix),
             sizeof(WCHAR) * static_cast<size_t>(length)) != 0) {
    return 0;
  }
  LPCWSTR digits = static_cast<LPCWSTR>(description) + length;
  long long number = 0;
  for (; *digits >= u'0' && *digits <= u'9'; ++digits) {
    number = number * 10 + (*digits - u'0');
    if (number > 0x7FFFFFFF) return -1;
  }
  return static_cast<int>(number);
}

HRDEVICESTATUS StatusFromStart(DWORD start) {
  return start == kStartDisabled ? HR_DEVSTATUS_DOWN : HR_DEVSTATUS_RUNNING;
}

void TraceLoad(const WCHAR* format, int notStored, int count, DWORD result) {
  TraceLog(HR_TRACE_TABLE, format, notStored, count, static_cast<int>(result));
}

// A new row from a registry record, appended: 0 or 1200.
DWORD AddRow(CObList* list, DWORD& counter, HRDEVICETYPE type, const CString& description,
             DWORD start, const CString& identifier) {
  auto* row = new CDeviceEntry;
  if (row == nullptr) return HR_RESULT_NO_MEMORY;
  HROBJECTID zeroId{};  // { 0 0 }
  zeroId.length = 2;
  row->EntrySet(counter + 1, type, description, zeroId, StatusFromStart(start), 0,
                HR_DSMEDIA_UNKNOWN, 0, 0, nullptr, 0, 0, nullptr, nullptr);
  row->DeviceIdentifierSet(identifier);
  if (list->AddTail(row) == nullptr) {
    delete row;
    return HR_RESULT_NO_MEMORY;
  }
  ++counter;
  return 0;
}

}  // namespace

DWORD CDeviceTable::GetDiskSignature(const WCHAR* identifier) {
  DWORD signature = 0;
  if (identifier != nullptr) {
    size_t length = 0;
    while (identifier[length] != u'\0') ++length;
    signature = HrDiskSignature(identifier, length);
  }
  TraceLog(HR_TRACE_STEP, u"CDeviceTable::GetDiskSignature: Completed, Signature = %1!#x!\r\n",
           signature);
  return signature;
}

// Every processor row gets its own extension: a record attaches to the first
// processor row with its firmware ID that has none yet, so that providers
// which give every processor the same ID still show each processor once.
DWORD CDeviceTable::LoadProcessor(CObList* list) {
  CRIDOVOPROCESS* monitor = ProcessorMonitor();
  if (monitor == nullptr) {
    TraceLoad(
        u"CDeviceTable::LoadProcessor: Completed, Not Stored = %1!d!, Result = %2!d!, "
        u"result = %3!d!\r\n",
        0, HR_RESULT_MISSING, 0);
    return 0;
  }
  CProviderList<W32ProcessorRecord> records(&W32GetProcessor, false);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  const CString prefix = HrLoadText(115, u"Processor ");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_PROCESSOR)) {
      if (row->hrExtendedEntryGet() != nullptr ||
          !SameFirmwareId(row->ProcessorFirmWareIDGet(), records[i].firmwareId)) {
        continue;
      }
      auto* processor = new CProcessorEntry;
      if (processor == nullptr) {
        result = HR_RESULT_NO_MEMORY;
        break;
      }
      const int number = ProcessorNumber(row->hrDeviceDescrGet(), prefix);
      processor->EntrySet(index, records[i].firmwareId, monitor->LoadGet(number), number);
      row->DeviceEntrySet(processor);
      --notStored;
      break;
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadProcessor: Completed, Not Stored = %1!d!, Result = %2!d!, "
      u"result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

DWORD CDeviceTable::LoadPrinter(CObList* list) {
  CProviderList<W32PrinterRecord> records(&W32GetPrinter, false);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    const CString name = HrFieldText(records[i].name);
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_PRINTER)) {
      if (row->hrExtendedEntryGet() != nullptr || row->PrinterNameGet() != name) continue;
      auto* printer = new CPrinterEntry;
      if (printer == nullptr) {
        result = HR_RESULT_NO_MEMORY;
        break;
      }
      printer->EntrySet(index, static_cast<HRPRINTERSTATUS>(records[i].status),
                        records[i].detectedErrorState, name);
      row->DeviceEntrySet(printer);
      --notStored;
      break;
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadPrinter: Completed, Not Stored = %1!d!, Result = %2!d!, "
      u"result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

DWORD CDeviceTable::LoadDiskStorage(CObList* list) {
  CProviderList<W32DiskStorageRecord> records(&W32GetDiskStorage, false);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    const W32DiskStorageRecord& record = records[i];
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_DISKSTORAGE)) {
      if (row->hrExtendedEntryGet() != nullptr ||
          row->DiskStorageHarddiskGet() != record.hardDisk ||
          row->DiskStorageMediaGet() != record.media) {
        continue;
      }
      auto* disk = new CDiskStorageEntry;
      if (disk == nullptr) {
        result = HR_RESULT_NO_MEMORY;
        break;
      }
      disk->EntrySet(index, static_cast<HRDSACCESS>(record.access),
                     static_cast<HRDSMEDIA>(record.media), record.removable, record.capacity,
                     record.hardDisk);
      row->DeviceEntrySet(disk);
      --notStored;
      break;
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadDiskStorage: Completed, Not Stored = %1!d!, Result = %2!d!, "
      u"result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

// Hard disks meet their rows by signature; CD-ROM drives by order, the n-th
// CD-ROM record describing the n-th CD-ROM row.
DWORD CDeviceTable::LoadScsiDiskStorage(CObList* list) {
  CProviderList<RegScsiDiskRecord> records(&RegGetScsiDiskStorage, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  int registryCd = 0;
  int deviceCd = 0;
  const CString hardDiskFormat = HrLoadText(108, u"#%d: %s; Driver: %s; Bus: %s.");
  const CString otherFormat = HrLoadText(109, u"%s; Driver: %s; Bus: %s.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    const RegScsiDiskRecord& record = records[i];
    const DWORD signature = GetDiskSignature(HrFieldText(record.identifier));
    if (record.media == HR_DSMEDIA_OPTICALDISKROM) ++registryCd;
    deviceCd = 0;
    const CString name = HrFieldText(record.name);
    const CString driver = HrFieldText(record.driver);
    const CString bus = HrFieldText(record.bus);
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_DISKSTORAGE)) {
      if (row->DiskStorageMediaGet() == HR_DSMEDIA_OPTICALDISKROM) ++deviceCd;
      if (row->DiskStorageMediaGet() != record.media) continue;
      const bool hardDisk = record.media == HR_DSMEDIA_HARDDISK;
      const bool match = (hardDisk && row->DiskStorageSignatureGet() == signature) ||
                         (record.media == HR_DSMEDIA_OPTICALDISKROM && deviceCd == registryCd);
      if (!match) continue;
      CString description;
      if (hardDisk) {
        description.Format(static_cast<LPCWSTR>(hardDiskFormat), row->DiskStorageHarddiskGet(),
                           name, driver, bus);
      } else {
        description.Format(static_cast<LPCWSTR>(otherFormat), name, driver, bus);
      }
      row->DeviceDescriptionUpdate(description);
      --notStored;
      break;
    }
  }
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::LoadScsiDiskStorage: Completed, Not Stored = %1!d!, Reg CD = %2!d!, "
           u"W32 CD = %3!d!, Result = %4!d!, result = %5!d!\r\n",
           notStored, registryCd, deviceCd, records.Count(), static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::LoadNonScsiDiskStorage(CObList* list) {
  CProviderList<RegNonScsiDiskRecord> records(&RegGetNonScsiDiskStorage, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  const CString format = HrLoadText(110, u"#%d: %s; Firmware: %s; Serial#: %s; Bus: %s.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    const RegNonScsiDiskRecord& record = records[i];
    const DWORD signature = GetDiskSignature(HrFieldText(record.identifier));
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_DISKSTORAGE)) {
      if (row->DiskStorageSignatureGet() != signature ||
          row->DiskStorageMediaGet() != record.media) {
        continue;
      }
      CString description;
      description.Format(static_cast<LPCWSTR>(format), row->DiskStorageHarddiskGet(),
                         HrFieldText(record.name), HrFieldText(record.firmware),
                         HrFieldText(record.serial), HrFieldText(record.bus));
      row->DeviceDescriptionUpdate(description);
      --notStored;
      break;
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadNonScsiDiskStorage: Completed, Not Stored = %1!d!, Result = "
      u"%2!d!, result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

DWORD CDeviceTable::LoadNetwork(CObList* list) {
  CProviderList<W32NetworkRecord> records(&W32GetNetwork, false);
  DWORD result = records.Failed() ? static_cast<DWORD>(HR_RESULT_DEVICE_BUILD) : 0;
  int notStored = 0;
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    ++notStored;
    const W32NetworkRecord& record = records[i];
    DWORD index = 0;
    while (CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_NETWORK)) {
      if (row->hrExtendedEntryGet() != nullptr || row->NetworkIndexGet() != record.networkIndex) {
        continue;
      }
      auto* network = new CNetworkEntry;
      if (network == nullptr) {
        result = HR_RESULT_NO_MEMORY;
        break;
      }
      network->EntrySet(index, record.interfaceIndex, record.mac);
      row->DeviceEntrySet(network);
      --notStored;
      break;
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadNetwork: Completed, Not Stored = %1!d!, Result = %2!d!, "
      u"result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

// Only the first keyboard record is used, for the first keyboard row.
DWORD CDeviceTable::LoadKeyboard(CObList* list) {
  CProviderList<RegKeyboardRecord> records(&RegGetKeyboard, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(records.Count()) : 0;
  int notStored = 0;
  if (records.Count() > 0) {
    const RegKeyboardRecord& record = records[0];
    DWORD index = 0;
    CDeviceEntry* row = GetNextEx(list, index, HR_DEVICE_KEYBOARD);
    if (row == nullptr) {
      notStored = 1;
    } else {
      const CString name = HrFieldText(record.name);
      CString description;
      description.Format(
          static_cast<LPCWSTR>(HrLoadText(101, u"%s, %s, Driver: %s, Class: %s, Bus: %s.")),
          row->hrDeviceDescrGet(), name, HrFieldText(record.driver),
          HrFieldText(record.deviceClass), HrFieldText(record.bus));
      row->DeviceDescriptionUpdate(description);
      row->DeviceIdentifierSet(name);
      row->DeviceStatusUpdate(StatusFromStart(record.start));
    }
  }
  TraceLoad(
      u"CDeviceTable::LoadKeyboard: Completed, Not Stored = %1!d!, Result = %2!d!, "
      u"result = %3!d!\r\n",
      notStored, records.Count(), result);
  return result;
}

DWORD CDeviceTable::LoadVideo(CObList* list, DWORD& counter) {
  CProviderList<RegVideoRecord> records(&RegGetDeviceVideo, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(records.Count()) : 0;
  const CString format =
      HrLoadText(102, u"%s, Controller: %s, Peripheral: %s, Bus: %s, VGA Compatible: %lu.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    const RegVideoRecord& record = records[i];
    const CString peripheral = HrFieldText(record.peripheral);
    CString description;
    description.Format(static_cast<LPCWSTR>(format), HrFieldText(record.name),
                       HrFieldText(record.controller), peripheral, HrFieldText(record.bus),
                       record.vgaCompatible);
    result = AddRow(list, counter, HR_DEVICE_VIDEO, description, record.start, peripheral);
  }
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::LoadVideo: Completed, Result = %1!d!, result = %2!d!\r\n",
           records.Count(), static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::LoadParallelPort(CObList* list, DWORD& counter) {
  CProviderList<RegPortRecord> records(&RegGetParallelPort, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(records.Count()) : 0;
  const CString format = HrLoadText(103, u"%s, Controller: %s, Bus: %s.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    const RegPortRecord& record = records[i];
    const CString controller = HrFieldText(record.controller);
    CString description;
    description.Format(static_cast<LPCWSTR>(format), HrFieldText(record.name), controller,
                       HrFieldText(record.bus));
    result = AddRow(list, counter, HR_DEVICE_PARALLELPORT, description, record.start, controller);
  }
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::LoadParallelPort: Completed, Result = %1!d!, result = %2!d!\r\n",
           records.Count(), static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::LoadPointerPort(CObList* list, DWORD& counter) {
  CProviderList<RegPointerRecord> records(&RegGetPointerPort, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(records.Count()) : 0;
  const CString format = HrLoadText(104, u"%s, Driver: %s, Class: %s, Bus: %s, Description: %s.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    const RegPointerRecord& record = records[i];
    const CString name = HrFieldText(record.name);
    CString description;
    description.Format(static_cast<LPCWSTR>(format), name, HrFieldText(record.driver),
                       HrFieldText(record.deviceClass), HrFieldText(record.bus),
                       HrFieldText(record.description));
    result = AddRow(list, counter, HR_DEVICE_POINTING, description, record.start, name);
  }
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::LoadPointerPort: Completed, Result = %1!d!, result = %2!d!\r\n",
           records.Count(), static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::LoadSerialComm(CObList* list, DWORD& counter) {
  CProviderList<RegSerialRecord> records(&RegGetSerialComm, true);
  DWORD result = records.Failed() ? static_cast<DWORD>(records.Count()) : 0;
  const CString format = HrLoadText(105, u"%s, Controller: %s, Bus: %s.");
  for (int i = 0; result == 0 && i < records.Count(); ++i) {
    const RegPortRecord& record = records[i].port;
    const CString controller = HrFieldText(record.controller);
    CString description;
    description.Format(static_cast<LPCWSTR>(format), HrFieldText(record.name), controller,
                       HrFieldText(record.bus));
    result = AddRow(list, counter, HR_DEVICE_SERIALPORT, description, record.start, controller);
  }
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::LoadSerialComm: Completed, Result = %1!d!, result = %2!d!\r\n",
           records.Count(), static_cast<int>(result));
  return result;
}
