#include "agent/hostres/device_entry.h"

#include <cstring>

#include "agent/hostres/device_table.h"
#include "agent/hostres/ridovo_app.h"

namespace {

CRIDOVOPROCESS* ProcessorMonitor() {
  CS_ridovoApp* app = RidovoApp();
  return app != nullptr ? app->ProcessGet() : nullptr;
}

// The extension row of the device with `index` when the device has `type`.
CObject* ExtensionOf(DWORD index, HRDEVICETYPE type) {
  if (index == 0) return nullptr;
  const auto* row =
      static_cast<const CDeviceEntry*>(HrListGet(g_p_deviceList, index, [](const CObject* entry) {
        return static_cast<const CDeviceEntry*>(entry)->hrDeviceIndexGet();
      }));
  if (row == nullptr || row->hrDeviceTypeGet() != type) return nullptr;
  return row->hrExtendedEntryGet();
}

// Moves `index` to the next device of `type` and gives its extension row.
CObject* NextExtensionOf(DWORD& index, HRDEVICETYPE type) {
  const CDeviceEntry* row = CDeviceTable::GetNextEx(g_p_deviceList, index, type);
  return row != nullptr ? row->hrExtendedEntryGet() : nullptr;
}

}  // namespace

// --- CProcessorEntry ---

CProcessorEntry::CProcessorEntry() = default;
CProcessorEntry::~CProcessorEntry() = default;

void CProcessorEntry::EntrySet(DWORD deviceIndex, const HROBJECTID& firmwareId, DWORD load,
                               int processorId) {
  m_ul_deviceIndex = deviceIndex;
  m_id_firmwareId = firmwareId;
  m_ul_load = load;
  m_i_processorId = processorId;
}

void CProcessorEntry::hrEntryGet(DWORD& deviceIndex, HROBJECTID& firmwareId, DWORD& load) {
  load = hrProcessorLoadGet();
  deviceIndex = m_ul_deviceIndex;
  firmwareId = m_id_firmwareId;
}

DWORD CProcessorEntry::hrProcessorLoadGet() {
  if (const CRIDOVOPROCESS* monitor = ProcessorMonitor()) {
    m_ul_load = monitor->LoadGet(m_i_processorId);
  }
  return m_ul_load;
}

// --- CNetworkEntry ---

CNetworkEntry::CNetworkEntry() = default;
CNetworkEntry::~CNetworkEntry() = default;

void CNetworkEntry::EntrySet(DWORD deviceIndex, DWORD ifIndex, const BYTE* mac) {
  m_ul_deviceIndex = deviceIndex;
  m_ul_ifIndex = ifIndex;
  if (mac != nullptr) memcpy(m_b_mac, mac, sizeof m_b_mac);
}

void CNetworkEntry::hrEntryGet(DWORD& deviceIndex, DWORD& ifIndex) const {
  deviceIndex = m_ul_deviceIndex;
  ifIndex = m_ul_ifIndex;
}

// --- CPrinterEntry ---

CPrinterEntry::CPrinterEntry() = default;
CPrinterEntry::~CPrinterEntry() = default;

void CPrinterEntry::EntrySet(DWORD deviceIndex, HRPRINTERSTATUS status, DWORD detectedErrorState,
                             const WCHAR* printerName) {
  m_ul_deviceIndex = deviceIndex;
  m_e_status = status;
  m_ul_detectedErrorState = detectedErrorState;
  if (printerName != nullptr) m_s_printerName = printerName;
}

void CPrinterEntry::hrEntryGet(DWORD& deviceIndex, HRPRINTERSTATUS& status,
                               DWORD& detectedErrorState) const {
  deviceIndex = m_ul_deviceIndex;
  status = m_e_status;
  detectedErrorState = m_ul_detectedErrorState;
}

// --- CDiskStorageEntry ---

CDiskStorageEntry::CDiskStorageEntry() = default;
CDiskStorageEntry::~CDiskStorageEntry() = default;

void CDiskStorageEntry::EntrySet(DWORD deviceIndex, HRDSACCESS access, HRDSMEDIA media,
                                 int removable, DWORD capacity, int hardDisk) {
  m_ul_deviceIndex = deviceIndex;
  m_e_access = access;
  m_e_media = media;
  m_i_removable = removable;
  m_ul_capacity = capacity;
  m_i_hardDisk = hardDisk;
}

void CDiskStorageEntry::hrEntryGet(DWORD& deviceIndex, HRDSACCESS& access, HRDSMEDIA& media,
                                   int& removable, DWORD& capacity) const {
  deviceIndex = m_ul_deviceIndex;
  access = m_e_access;
  media = m_e_media;
  removable = m_i_removable;
  capacity = m_ul_capacity;
}

// --- CDeviceEntry ---

CDeviceEntry::CDeviceEntry() = default;

CDeviceEntry::~CDeviceEntry() { delete m_p_extended; }

void CDeviceEntry::EntrySet(DWORD index, HRDEVICETYPE type, const WCHAR* description,
                            HROBJECTID deviceId, HRDEVICESTATUS status, DWORD errors,
                            HRDSMEDIA media, int hardDisk, DWORD signature, const BYTE* mac,
                            WORD interfaceType, WORD networkIndex, const WCHAR* printerName,
                            const HROBJECTID* firmwareId) {
  m_e_type = type;
  DeviceIndexSet(index);
  m_s_description = description != nullptr ? description : u"";
  m_id_deviceId = deviceId;
  m_e_status = status;
  m_ul_errors = errors;
  m_e_media = media;
  m_i_hardDisk = hardDisk;
  m_ul_signature = signature;
  if (mac != nullptr) memcpy(m_b_mac, mac, sizeof m_b_mac);
  m_w_ifType = interfaceType;
  m_w_networkIndex = networkIndex;
  if (printerName != nullptr) m_s_printerName = printerName;
  if (firmwareId != nullptr) m_id_firmwareId = *firmwareId;
}

void CDeviceEntry::hrEntryGet(DWORD& index, HRDEVICETYPE& type, CString& description,
                              HROBJECTID& deviceId, HRDEVICESTATUS& status, DWORD& errors) const {
  index = m_ul_index;
  type = m_e_type;
  description = m_s_description;
  deviceId = m_id_deviceId;
  status = m_e_status;
  errors = m_ul_errors;
}

// An extension row carries its device's index; when a rebuild renumbers the
// device, the extension follows, so that hrProcessorTable and the others
// stay joined to hrDeviceTable.
void CDeviceEntry::DeviceIndexSet(DWORD index) {
  m_ul_index = index;
  if (auto* processor = dynamic_cast<CProcessorEntry*>(m_p_extended)) {
    processor->DeviceIndexSet(index);
  } else if (auto* network = dynamic_cast<CNetworkEntry*>(m_p_extended)) {
    network->DeviceIndexSet(index);
  } else if (auto* printer = dynamic_cast<CPrinterEntry*>(m_p_extended)) {
    printer->DeviceIndexSet(index);
  } else if (auto* disk = dynamic_cast<CDiskStorageEntry*>(m_p_extended)) {
    disk->DeviceIndexSet(index);
  }
}

void CDeviceEntry::DeviceDescriptionUpdate(const WCHAR* description) {
  m_s_description = description != nullptr ? description : u"";
}

void CDeviceEntry::DeviceEntrySet(CObject* extended) {
  if (extended == m_p_extended) return;
  delete m_p_extended;
  m_p_extended = extended;
  DeviceIndexSet(m_ul_index);
}

void CDeviceEntry::DeviceIdentifierSet(const WCHAR* identifier) {
  m_s_identifier = identifier != nullptr ? identifier : u"";
}

CProcessorEntry* CDeviceEntry::hrGetProcessor(DWORD index) {
  return dynamic_cast<CProcessorEntry*>(ExtensionOf(index, HR_DEVICE_PROCESSOR));
}

CNetworkEntry* CDeviceEntry::hrGetNetwork(DWORD index) {
  return dynamic_cast<CNetworkEntry*>(ExtensionOf(index, HR_DEVICE_NETWORK));
}

CPrinterEntry* CDeviceEntry::hrGetPrinter(DWORD index) {
  return dynamic_cast<CPrinterEntry*>(ExtensionOf(index, HR_DEVICE_PRINTER));
}

CDiskStorageEntry* CDeviceEntry::hrGetDiskStorage(DWORD index) {
  return dynamic_cast<CDiskStorageEntry*>(ExtensionOf(index, HR_DEVICE_DISKSTORAGE));
}

CProcessorEntry* CDeviceEntry::hrGetNextProcessor(DWORD& index) {
  return dynamic_cast<CProcessorEntry*>(NextExtensionOf(index, HR_DEVICE_PROCESSOR));
}

CNetworkEntry* CDeviceEntry::hrGetNextNetwork(DWORD& index) {
  return dynamic_cast<CNetworkEntry*>(NextExtensionOf(index, HR_DEVICE_NETWORK));
}

CPrinterEntry* CDeviceEntry::hrGetNextPrinter(DWORD& index) {
  return dynamic_cast<CPrinterEntry*>(NextExtensionOf(index, HR_DEVICE_PRINTER));
}

CDiskStorageEntry* CDeviceEntry::hrGetNextDiskStorage(DWORD& index) {
  return dynamic_cast<CDiskStorageEntry*>(NextExtensionOf(index, HR_DEVICE_DISKSTORAGE));
}
