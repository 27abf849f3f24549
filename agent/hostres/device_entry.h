// The rows of the device table (hrDeviceTable) and their four extension rows
// (hrProcessorTable, hrNetworkTable, hrPrinterTable, hrDiskStorageTable).
//
// A CDeviceEntry belongs to the device list (g_p_deviceList, device_table.h)
// and owns at most one extension row, which is destroyed with it. The kind of
// the extension follows the row's type: a CProcessorEntry for processors (3),
// CNetworkEntry for network devices (4), CPrinterEntry for printers (5) and
// CDiskStorageEntry for disks (6). Pointers handed out stay valid until the
// next rebuild of the device table (any hrRefresh of the storage family) or
// unload. Getters never fail; "not found" is a null entry and an index of 0.
// Not thread safe (see table_list.h); only a processor's load is read from
// the processor monitor's thread without a lock.
#pragma once

#include "agent/hostres/hostscan.h"
#include "mfc/afx.h"
#include "mfc/afxstr.h"
#include "platform/providers/winprob/winprob.h"

// hrDeviceTypes of RFC 1514, by their last arc. The walks take 0 for
// "every type".
enum HRDEVICETYPE : DWORD {
  HR_DEVICE_ALL = 0,
  HR_DEVICE_OTHER = 1,
  HR_DEVICE_UNKNOWN = 2,
  HR_DEVICE_PROCESSOR = 3,
  HR_DEVICE_NETWORK = 4,
  HR_DEVICE_PRINTER = 5,
  HR_DEVICE_DISKSTORAGE = 6,
  HR_DEVICE_VIDEO = 10,
  HR_DEVICE_AUDIO = 11,
  HR_DEVICE_COPROCESSOR = 12,
  HR_DEVICE_KEYBOARD = 13,
  HR_DEVICE_MODEM = 14,
  HR_DEVICE_PARALLELPORT = 15,
  HR_DEVICE_POINTING = 16,
  HR_DEVICE_SERIALPORT = 17,
  HR_DEVICE_TAPE = 18,
  HR_DEVICE_CLOCK = 19,
  HR_DEVICE_VOLATILEMEMORY = 20,
  HR_DEVICE_NONVOLATILEMEMORY = 21,
};

// hrDeviceStatus.
enum HRDEVICESTATUS : DWORD {
  HR_DEVSTATUS_UNKNOWN = 1,
  HR_DEVSTATUS_RUNNING = 2,
  HR_DEVSTATUS_WARNING = 3,
  HR_DEVSTATUS_TESTING = 4,
  HR_DEVSTATUS_DOWN = 5,
};

// hrDiskStorageMedia.
enum HRDSMEDIA : DWORD {
  HR_DSMEDIA_OTHER = 1,
  HR_DSMEDIA_UNKNOWN = 2,
  HR_DSMEDIA_HARDDISK = 3,
  HR_DSMEDIA_FLOPPYDISK = 4,
  HR_DSMEDIA_OPTICALDISKROM = 5,
  HR_DSMEDIA_OPTICALDISKWORM = 6,
  HR_DSMEDIA_OPTICALDISKRW = 7,
  HR_DSMEDIA_RAMDISK = 8,
};

// hrDiskStorageAccess.
enum HRDSACCESS : DWORD {
  HR_DSACCESS_READWRITE = 1,
  HR_DSACCESS_READONLY = 2,
};

// hrPrinterStatus.
enum HRPRINTERSTATUS : DWORD {
  HR_PRINTERSTATUS_OTHER = 1,
  HR_PRINTERSTATUS_UNKNOWN = 2,
  HR_PRINTERSTATUS_IDLE = 3,
  HR_PRINTERSTATUS_PRINTING = 4,
  HR_PRINTERSTATUS_WARMUP = 5,
};

// A processor row's extension: hrProcessorFrwID and hrProcessorLoad.
class HOSTSCAN_CLASS CProcessorEntry : public CObject {
 public:
  CProcessorEntry();
  ~CProcessorEntry() override;

  void EntrySet(DWORD deviceIndex, const HROBJECTID& firmwareId, DWORD load, int processorId);
  // Refreshes the load from the processor monitor, then copies the MIB
  // columns (the processor number is left out).
  void hrEntryGet(DWORD& deviceIndex, HROBJECTID& firmwareId, DWORD& load);

  DWORD hrDeviceIndexGet() const { return m_ul_deviceIndex; }
  void DeviceIndexSet(DWORD index) { m_ul_deviceIndex = index; }
  const HROBJECTID& hrProcessorFrwIDGet() const { return m_id_firmwareId; }
  // The processor monitor's latest load of this processor in percent (the
  // last one read when there is no monitor).
  DWORD hrProcessorLoadGet();
  // The number after "Processor " in the device's description (0 without
  // it); the monitor keeps the loads of 0..31.
  int ProcessorIDGet() const { return m_i_processorId; }

 private:
  DWORD m_ul_deviceIndex = 0;
  HROBJECTID m_id_firmwareId{};
  DWORD m_ul_load = 0;
  int m_i_processorId = 0;
};

// A network device's extension: hrNetworkIfIndex.
class HOSTSCAN_CLASS CNetworkEntry : public CObject {
 public:
  CNetworkEntry();
  ~CNetworkEntry() override;

  // A null MAC leaves the address as it is.
  void EntrySet(DWORD deviceIndex, DWORD ifIndex, const BYTE* mac);
  void hrEntryGet(DWORD& deviceIndex, DWORD& ifIndex) const;

  DWORD hrDeviceIndexGet() const { return m_ul_deviceIndex; }
  void DeviceIndexSet(DWORD index) { m_ul_deviceIndex = index; }
  DWORD hrNetworkIfIndexGet() const { return m_ul_ifIndex; }
  // The 6-byte hardware address.
  const BYTE* NetworkMacGet() const { return m_b_mac; }

 private:
  DWORD m_ul_deviceIndex = 0;
  DWORD m_ul_ifIndex = 0;
  BYTE m_b_mac[6] = {};
};

// A printer's extension: hrPrinterStatus and hrPrinterDetectedErrorState.
class HOSTSCAN_CLASS CPrinterEntry : public CObject {
 public:
  CPrinterEntry();
  ~CPrinterEntry() override;

  // A null name leaves the name as it is.
  void EntrySet(DWORD deviceIndex, HRPRINTERSTATUS status, DWORD detectedErrorState,
                const WCHAR* printerName);
  void hrEntryGet(DWORD& deviceIndex, HRPRINTERSTATUS& status, DWORD& detectedErrorState) const;

  DWORD hrDeviceIndexGet() const { return m_ul_deviceIndex; }
  void DeviceIndexSet(DWORD index) { m_ul_deviceIndex = index; }
  HRPRINTERSTATUS hrPrinterStatusGet() const { return m_e_status; }
  DWORD hrPrinterDetectedErrorStateGet() const { return m_ul_detectedErrorState; }
  const CString& hrPrinterNameGet() const { return m_s_printerName; }

 private:
  DWORD m_ul_deviceIndex = 0;
  HRPRINTERSTATUS m_e_status = HR_PRINTERSTATUS_UNKNOWN;
  DWORD m_ul_detectedErrorState = 0;
  CString m_s_printerName;
};

// A disk's extension: hrDiskStorageAccess, Media, Removable and Capacity (KB).
class HOSTSCAN_CLASS CDiskStorageEntry : public CObject {
 public:
  CDiskStorageEntry();
  ~CDiskStorageEntry() override;

  void EntrySet(DWORD deviceIndex, HRDSACCESS access, HRDSMEDIA media, int removable,
                DWORD capacity, int hardDisk);
  void hrEntryGet(DWORD& deviceIndex, HRDSACCESS& access, HRDSMEDIA& media, int& removable,
                  DWORD& capacity) const;

  DWORD hrDeviceIndexGet() const { return m_ul_deviceIndex; }
  void DeviceIndexSet(DWORD index) { m_ul_deviceIndex = index; }
  HRDSACCESS hrDiskStorageAccessGet() const { return m_e_access; }
  HRDSMEDIA hrDiskStorageMediaGet() const { return m_e_media; }
  int hrDiskStorageRemoveableGet() const { return m_i_removable; }
  DWORD hrDiskStorageCapacityGet() const { return m_ul_capacity; }
  int DiskStorageHarddiskGet() const { return m_i_hardDisk; }

 private:
  DWORD m_ul_deviceIndex = 0;
  HRDSACCESS m_e_access = HR_DSACCESS_READONLY;
  HRDSMEDIA m_e_media = HR_DSMEDIA_UNKNOWN;
  int m_i_removable = 0;
  DWORD m_ul_capacity = 0;
  int m_i_hardDisk = 0;
};

// One device row.
class HOSTSCAN_CLASS CDeviceEntry : public CObject {
 public:
  CDeviceEntry();
  // Destroys the extension row with the device row.
  ~CDeviceEntry() override;

  // All fields at once. A null MAC, printer name or firmware ID leaves that
  // field as it is; a null description is empty.
  void EntrySet(DWORD index, HRDEVICETYPE type, const WCHAR* description, HROBJECTID deviceId,
                HRDEVICESTATUS status, DWORD errors, HRDSMEDIA media, int hardDisk, DWORD signature,
                const BYTE* mac, WORD interfaceType, WORD networkIndex, const WCHAR* printerName,
                const HROBJECTID* firmwareId);
  void hrEntryGet(DWORD& index, HRDEVICETYPE& type, CString& description, HROBJECTID& deviceId,
                  HRDEVICESTATUS& status, DWORD& errors) const;

  DWORD hrDeviceIndexGet() const { return m_ul_index; }
  // Sets the row's index and its extension row's device index with it.
  void DeviceIndexSet(DWORD index);
  HRDEVICETYPE hrDeviceTypeGet() const { return m_e_type; }
  const CString& hrDeviceDescrGet() const { return m_s_description; }
  void DeviceDescriptionUpdate(const WCHAR* description);
  const HROBJECTID& hrDeviceIDGet() const { return m_id_deviceId; }
  HRDEVICESTATUS hrDeviceStatusGet() const { return m_e_status; }
  void DeviceStatusUpdate(HRDEVICESTATUS status) { m_e_status = status; }
  DWORD hrDeviceErrorsGet() const { return m_ul_errors; }

  // The extension row (of the class that the type names), or null.
  CObject* hrExtendedEntryGet() const { return m_p_extended; }
  // Hands the row an extension row, which it owns from then on; a previous
  // one is destroyed. Its device index is set to the row's.
  void DeviceEntrySet(CObject* extended);

  HRDSMEDIA DiskStorageMediaGet() const { return m_e_media; }
  int DiskStorageHarddiskGet() const { return m_i_hardDisk; }
  DWORD DiskStorageSignatureGet() const { return m_ul_signature; }
  const BYTE* NetworkMacGet() const { return m_b_mac; }
  WORD NetworkIfTypeGet() const { return m_w_ifType; }
  WORD NetworkIndexGet() const { return m_w_networkIndex; }
  const CString& PrinterNameGet() const { return m_s_printerName; }
  const HROBJECTID& ProcessorFirmWareIDGet() const { return m_id_firmwareId; }
  const CString& DeviceIdentifierGet() const { return m_s_identifier; }
  void DeviceIdentifierSet(const WCHAR* identifier);

  // The extension row of the device with `index` when that device has the
  // matching type (3, 4, 5, 6); null otherwise, also for index 0 or without
  // a table.
  static CProcessorEntry* hrGetProcessor(DWORD index);
  static CNetworkEntry* hrGetNetwork(DWORD index);
  static CPrinterEntry* hrGetPrinter(DWORD index);
  static CDiskStorageEntry* hrGetDiskStorage(DWORD index);

  // Steps `index` to the next device of the type (the first for 0) in list
  // order and returns its extension row: null when that device has none
  // (the index has moved on all the same), or at the end (index 0).
  static CProcessorEntry* hrGetNextProcessor(DWORD& index);
  static CNetworkEntry* hrGetNextNetwork(DWORD& index);
  static CPrinterEntry* hrGetNextPrinter(DWORD& index);
  static CDiskStorageEntry* hrGetNextDiskStorage(DWORD& index);

 private:
  DWORD m_ul_index = 0;
  HRDEVICETYPE m_e_type = HR_DEVICE_UNKNOWN;
  CString m_s_description;
  HROBJECTID m_id_deviceId{};
  HRDEVICESTATUS m_e_status = HR_DEVSTATUS_UNKNOWN;
  DWORD m_ul_errors = 0;
  CObject* m_p_extended = nullptr;
  HRDSMEDIA m_e_media = HR_DSMEDIA_UNKNOWN;
  int m_i_hardDisk = 0;
  DWORD m_ul_signature = 0;
  BYTE m_b_mac[6] = {};
  WORD m_w_ifType = 0;
  WORD m_w_networkIndex = 0;
  CString m_s_printerName;
  HROBJECTID m_id_firmwareId{};
  CString m_s_identifier;
};
