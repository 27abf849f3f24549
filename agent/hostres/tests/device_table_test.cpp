// The device table over fixture providers: rows matched to the registry's
// details, rows the registry adds, index keeping across rebuilds, typed walks
// and the extension rows.
#include "agent/hostres/device_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "agent/hostres/disk_signature.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/testing/agent_environment.h"

namespace {

using nlohmann::json;

const wltest::AgentEnvironment environment("hostres-device-test");

std::u16string Text(const CString& text) {
  return std::u16string(static_cast<const WCHAR*>(text), text.GetLength());
}

json Device(int type, const char* description, json extra = json::object()) {
  json record = {{"type", type},
                 {"description", description},
                 {"deviceId", "0.0"},
                 {"status", 2},
                 {"media", 2}};
  record.update(extra);
  return record;
}

json Disk(const char* description, int media, int hardDisk, unsigned signature) {
  return Device(6, description,
                {{"media", media}, {"hardDisk", hardDisk}, {"signature", signature}});
}

// Every device call answers from the fixture; calls not given answer empty.
json Providers(const json& calls) {
  const json midnight = {{"year", 2026}, {"month", 1},  {"dayOfWeek", 0}, {"day", 1},
                         {"hour", 0},    {"minute", 0}, {"second", 0},    {"milliseconds", 0}};
  json all = {{"W32GetSWInstalledLastChange", {{"time", midnight}}}};
  for (const char* call :
       {"W32GetDevice", "W32GetProcessor", "W32GetNetwork", "W32GetPrinter", "W32GetDiskStorage",
        "RegGetScsiDiskStorage", "RegGetNonScsiDiskStorage", "RegGetKeyboard", "RegGetDeviceVideo",
        "RegGetParallelPort", "RegGetPointerPort", "RegGetSerialComm"}) {
    all[call] = json::array();
  }
  all.update(calls);
  return all;
}

class DeviceTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("WARDENLINE_PROVIDERS", Path().c_str(), 1);
    Write(json::object());
    ASSERT_EQ(HRDXInit(), 0u);
  }
  static void TearDownTestSuite() { HRDXTerminate(); }
  void SetUp() override { CDeviceTable::CleanupTable(g_p_deviceList); }
  void TearDown() override { CDeviceTable::CleanupTable(g_p_deviceList); }

  static std::string Path() { return environment.directory() + "/providers.json"; }
  static void Write(const json& calls) { std::ofstream(Path()) << Providers(calls).dump(); }

  // The indexes of a typed walk through a table object.
  static std::vector<DWORD> Walk(CDeviceTable& table, HRDEVICETYPE type) {
    std::vector<DWORD> indexes;
    DWORD index = 0;
    while (table.hrGetNext(index, type) != nullptr) indexes.push_back(index);
    EXPECT_EQ(index, 0u);
    return indexes;
  }
};

TEST_F(DeviceTableTest, DisksMeetTheirRegistryDetailsAndTheKeyboardItsStartValue) {
  Write({{"W32GetDevice",
          {Disk("cd0", 5, 3, 0), Device(13, "kbd"), Disk("sda", 3, 1, 0x1A2B3C4D),
           Device(4, "eth0", {{"networkIndex", 2}}), Disk("cd1", 5, 4, 0), Disk("vda", 3, 2, 0),
           Disk("vdb", 3, 5, 0x77)}},
         {"W32GetDiskStorage",
          {{{"access", 1}, {"removable", 0}, {"capacity", 1000}, {"media", 3}, {"hardDisk", 1}},
           {{"access", 2}, {"removable", 1}, {"capacity", 0}, {"media", 5}, {"hardDisk", 4}},
           {{"access", 1}, {"media", 3}, {"hardDisk", 9}}}},  // no such disk
         {"RegGetScsiDiskStorage",
          {{{"driver", "sr"},
            {"name", "DVD A"},
            {"identifier", "sr0-00000000-NONE"},
            {"bus", "ATA"},
            {"media", 5}},
           {{"driver", "sd"},
            {"name", "Disk"},
            {"identifier", "sda-1a2b3c4d-MBR"},
            {"bus", "SCSI"},
            {"media", 3}},
           {{"driver", "sr"},
            {"name", "DVD B"},
            {"identifier", "sr1-00000000-NONE"},
            {"bus", "USB"},
            {"media", 5}}}},
         {"RegGetNonScsiDiskStorage",
          {{{"serial", "S1"},
            {"firmware", "F1"},
            {"name", "Virtual disk"},
            {"identifier", "vda"},
            {"bus", "virtio"},
            {"media", 3}}}},
         {"RegGetKeyboard",
          {{{"driver", "atkbd"},
            {"class", "Keyboard"},
            {"name", "AT keyboard"},
            {"bus", "I8042"},
            {"start", 4}},
           {{"name", "second keyboard"}, {"start", 1}}}}});
  ASSERT_EQ(CDeviceTable::hrInit(), 0u);
  CDeviceTable table;
  ASSERT_EQ(table.hrGetEntryCount(), 7u);
  EXPECT_EQ(CDeviceTable::m_ul_lastUsedDeviceIndex, 7u);

  EXPECT_EQ(Text(CDeviceTable::hrGet(1)->hrDeviceDescrGet()), u"DVD A; Driver: sr; Bus: ATA.");
  EXPECT_EQ(Text(CDeviceTable::hrGet(5)->hrDeviceDescrGet()), u"DVD B; Driver: sr; Bus: USB.")
      << "the second CD-ROM record describes the second CD-ROM row";
  EXPECT_EQ(Text(CDeviceTable::hrGet(3)->hrDeviceDescrGet()), u"#1: Disk; Driver: sd; Bus: SCSI.");
  EXPECT_EQ(Text(CDeviceTable::hrGet(6)->hrDeviceDescrGet()),
            u"#2: Virtual disk; Firmware: F1; Serial#: S1; Bus: virtio.")
      << "an identifier without \"-\" has signature 0 and meets the row of signature 0";
  EXPECT_EQ(Text(CDeviceTable::hrGet(7)->hrDeviceDescrGet()), u"vdb");

  const CDeviceEntry* keyboard = CDeviceTable::hrGet(2);
  EXPECT_EQ(keyboard->hrDeviceStatusGet(), HR_DEVSTATUS_DOWN) << "start value 4";
  EXPECT_EQ(Text(keyboard->hrDeviceDescrGet()),
            u"kbd, AT keyboard, Driver: atkbd, Class: Keyboard, Bus: I8042.");
  EXPECT_EQ(Text(keyboard->DeviceIdentifierGet()), u"AT keyboard");

  const CDiskStorageEntry* sda = CDeviceEntry::hrGetDiskStorage(3);
  ASSERT_NE(sda, nullptr);
  EXPECT_EQ(sda->hrDeviceIndexGet(), 3u);
  EXPECT_EQ(sda->hrDiskStorageCapacityGet(), 1000u);
  EXPECT_EQ(sda->hrDiskStorageAccessGet(), HR_DSACCESS_READWRITE);
  const CDiskStorageEntry* cd1 = CDeviceEntry::hrGetDiskStorage(5);
  ASSERT_NE(cd1, nullptr);
  EXPECT_EQ(cd1->hrDiskStorageRemoveableGet(), 1);
  EXPECT_EQ(CDeviceEntry::hrGetDiskStorage(1), nullptr) << "no W32 disk record for hard disk 3";
  EXPECT_EQ(CDeviceEntry::hrGetDiskStorage(4), nullptr) << "a network device";

  // Typed walks skip the other types, with the cursor and without.
  EXPECT_EQ(Walk(table, HR_DEVICE_DISKSTORAGE), (std::vector<DWORD>{1, 3, 5, 6, 7}));
  EXPECT_EQ(Walk(table, HR_DEVICE_KEYBOARD), (std::vector<DWORD>{2}));
  EXPECT_EQ(Walk(table, HR_DEVICE_ALL), (std::vector<DWORD>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(table.hrGetEntryCount(HR_DEVICE_DISKSTORAGE), 5u);
  EXPECT_EQ(table.hrGetEntryCount(HR_DEVICE_PRINTER), 0u);
  DWORD index = 2;
  EXPECT_EQ(table.hrGetNext(index, HR_DEVICE_DISKSTORAGE), CDeviceTable::hrGet(3))
      << "from a row of another type, no cursor on it";
  index = 5;
  EXPECT_EQ(CDeviceTable::GetNextEx(g_p_deviceList, index, HR_DEVICE_DISKSTORAGE),
            CDeviceTable::hrGet(6));
  EXPECT_EQ(CDeviceTable::GetNextEx(g_p_deviceList, index, HR_DEVICE_KEYBOARD), nullptr);
  EXPECT_EQ(index, 0u);
  index = 99;
  EXPECT_EQ(table.hrGetNext(index, HR_DEVICE_ALL), nullptr) << "unknown index ends the walk";
  EXPECT_EQ(CDeviceTable::hrGet(0), nullptr);
  index = 0;
  const CDiskStorageEntry* first = CDeviceEntry::hrGetNextDiskStorage(index);
  EXPECT_EQ(first, nullptr) << "row 1 has no extension";
  EXPECT_EQ(index, 1u) << "but the index moved on";
  EXPECT_EQ(CDeviceEntry::hrGetNextDiskStorage(index), sda);
}

TEST_F(DeviceTableTest, RegistryOnlyDevicesGetRowsOfTheirOwnAfterTheCounter) {
  json video = json::array();
  for (int i = 0; i < 4; ++i) {
    video.push_back({{"name", "VGA compatible controller"},
                     {"vgaCompatible", i == 0 ? 1 : 0},
                     {"controller", "drv" + std::to_string(i)},
                     {"peripheral", "0000:0" + std::to_string(i) + ":00.0"},
                     {"bus", "PCI"},
                     {"start", i % 2 == 0 ? 1 : 4}});
  }
  Write({{"W32GetDevice", {Device(1, "other")}},
         {"RegGetDeviceVideo", video},
         {"RegGetParallelPort",
          {{{"name", "parport0"}, {"controller", "parport0 at 0x378"}, {"bus", "ISA"}}}},
         {"RegGetPointerPort",
          {{{"driver", "psmouse"},
            {"class", "Mouse"},
            {"name", "PS/2 mouse"},
            {"bus", "I8042"},
            {"start", 4},
            {"description", "wheel"}}}},
         {"RegGetSerialComm",
          {{{"name", "ttyS0"},
            {"controller", "ttyS0 port 0x3F8 irq 4"},
            {"bus", "ISA"},
            {"start", 1}}}}});
  ASSERT_EQ(CDeviceTable::hrInit(), 0u);
  CDeviceTable table;
  EXPECT_EQ(table.hrGetEntryCount(), 8u);
  EXPECT_EQ(table.hrGetEntryCount(HR_DEVICE_VIDEO), 4u);
  std::vector<DWORD> statuses;
  DWORD index = 0;
  while (const CDeviceEntry* row = table.hrGetNext(index, HR_DEVICE_VIDEO)) {
    statuses.push_back(row->hrDeviceStatusGet());
    EXPECT_EQ(row->hrDeviceIDGet().length, 2u);
  }
  EXPECT_EQ(statuses, (std::vector<DWORD>{2, 5, 2, 5})) << "each adapter by its own start value";

  const CDeviceEntry* vga = CDeviceTable::hrGet(2);
  EXPECT_EQ(Text(vga->hrDeviceDescrGet()),
            u"VGA compatible controller, Controller: drv0, Peripheral: 0000:00:00.0, Bus: PCI, "
            u"VGA Compatible: 1.");
  EXPECT_EQ(Text(vga->DeviceIdentifierGet()), u"0000:00:00.0");
  const CDeviceEntry* parallel = CDeviceTable::hrGet(6);
  EXPECT_EQ(parallel->hrDeviceTypeGet(), HR_DEVICE_PARALLELPORT);
  EXPECT_EQ(Text(parallel->hrDeviceDescrGet()),
            u"parport0, Controller: parport0 at 0x378, Bus: ISA.");
  const CDeviceEntry* mouse = CDeviceTable::hrGet(7);
  EXPECT_EQ(mouse->hrDeviceTypeGet(), HR_DEVICE_POINTING);
  EXPECT_EQ(mouse->hrDeviceStatusGet(), HR_DEVSTATUS_DOWN);
  EXPECT_EQ(Text(mouse->hrDeviceDescrGet()),
            u"PS/2 mouse, Driver: psmouse, Class: Mouse, Bus: I8042, Description: wheel.");
  EXPECT_EQ(Text(mouse->DeviceIdentifierGet()), u"PS/2 mouse");
  const CDeviceEntry* serial = CDeviceTable::hrGet(8);
  EXPECT_EQ(serial->hrDeviceTypeGet(), HR_DEVICE_SERIALPORT);
  EXPECT_EQ(Text(serial->DeviceIdentifierGet()), u"ttyS0 port 0x3F8 irq 4");
  EXPECT_EQ(CDeviceTable::m_ul_lastUsedDeviceIndex, 8u);
}

TEST_F(DeviceTableTest, RebuildsKeepIndexesByTypeAndKeyAndNumberNewDevicesAboveAll) {
  auto printer = [](const char* name) { return Device(5, name, {{"printerName", name}}); };
  auto printerRecord = [](const char* name, int status) {
    return json{{"name", name}, {"status", status}, {"detectedErrorState", 0}};
  };
  Write({{"W32GetDevice",
          {printer("laser"), Device(4, "eth0", {{"networkIndex", 2}}), printer("ink"),
           printer("photo")}},
         {"W32GetNetwork",
          {{{"mac", "02:00:00:00:00:01"}, {"interfaceIndex", 2}, {"networkIndex", 2}}}},
         {"W32GetPrinter",
          {printerRecord("laser", 3), printerRecord("ink", 4), printerRecord("photo", 5)}}});
  ASSERT_EQ(CDeviceTable::hrInit(), 0u);
  CDeviceTable walker;
  CDeviceTable other;
  DWORD index = 0;
  ASSERT_NE(walker.hrGetNext(index), nullptr);
  ASSERT_NE(walker.hrGetNext(index), nullptr);
  ASSERT_EQ(index, 2u);
  EXPECT_EQ(CDeviceEntry::hrGetPrinter(3)->hrPrinterStatusGet(), HR_PRINTERSTATUS_PRINTING);

  // "ink" goes; a new interface comes first. A failed rebuild keeps the old table.
  Write({{"W32GetDevice", {printer("laser")}}, {"W32GetPrinter", {{"result", -5}}}});
  const CDeviceEntry* before = CDeviceTable::hrGet(1);
  EXPECT_EQ(CDeviceTable::hrRefresh(), 1209u);
  EXPECT_EQ(CDeviceTable::hrGet(1), before);

  Write({{"W32GetDevice",
          {Device(4, "wlan0", {{"networkIndex", 3}}), printer("laser"),
           Device(4, "eth0", {{"networkIndex", 2}}), printer("photo")}},
         {"W32GetNetwork",
          {{{"mac", "02:00:00:00:00:01"}, {"interfaceIndex", 2}, {"networkIndex", 2}},
           {{"mac", "02:00:00:00:00:02"}, {"interfaceIndex", 7}, {"networkIndex", 3}}}},
         {"W32GetPrinter", {printerRecord("laser", 3), printerRecord("photo", 5)}}});
  ASSERT_EQ(other.hrRefresh(), 0u);
  EXPECT_EQ(Walk(other, HR_DEVICE_ALL), (std::vector<DWORD>{5, 1, 6, 4}))
      << "photo is still first in line after ink; wlan0 took eth0's turn, so eth0 is new";
  EXPECT_EQ(CDeviceTable::m_ul_lastUsedDeviceIndex, 6u);
  // The walk of the first object goes on from index 2 in the rebuilt list.
  EXPECT_EQ(walker.hrGetNext(index), nullptr) << "index 2 is gone";
  index = 1;
  EXPECT_EQ(Text(walker.hrGetNext(index)->hrDeviceDescrGet()), u"eth0");

  // Extension rows carry the index their device has after the rebuild.
  const CPrinterEntry* laser = CDeviceEntry::hrGetPrinter(1);
  ASSERT_NE(laser, nullptr);
  EXPECT_EQ(laser->hrDeviceIndexGet(), 1u);
  EXPECT_EQ(Text(laser->hrPrinterNameGet()), u"laser");
  EXPECT_EQ(CDeviceEntry::hrGetPrinter(4)->hrPrinterStatusGet(), HR_PRINTERSTATUS_WARMUP);
  const CNetworkEntry* wlan = CDeviceEntry::hrGetNetwork(5);
  ASSERT_NE(wlan, nullptr);
  EXPECT_EQ(wlan->hrDeviceIndexGet(), 5u);
  EXPECT_EQ(wlan->hrNetworkIfIndexGet(), 7u);
  EXPECT_EQ(wlan->NetworkMacGet()[5], 2);
  EXPECT_EQ(CDeviceEntry::hrGetProcessor(6), nullptr) << "a network device";
  EXPECT_EQ(CDeviceEntry::hrGetPrinter(6), nullptr);

  // A failing provider fails a first build: no table.
  CDeviceTable::CleanupTable(g_p_deviceList);
  Write({{"W32GetDevice", {printer("laser")}}, {"RegGetSerialComm", {{"result", -2}}}});
  EXPECT_EQ(CDeviceTable::hrInit(), 1208u);
  EXPECT_EQ(g_p_deviceList, nullptr);
  EXPECT_EQ(CDeviceTable::hrRefresh(), 0u) << "nothing to refresh before a build";
  EXPECT_EQ(other.hrGetEntryCount(), 0u);
}

TEST_F(DeviceTableTest, EveryProcessorRowGetsItsOwnExtensionWithTheMonitorsLoad) {
  auto processor = [](const char* description) {
    return Device(3, description, {{"firmwareId", "1.3.6"}});
  };
  Write({{"W32GetDevice",
          {processor("Processor 0: A"), Device(4, "eth0"), processor("Processor 1: A"),
           processor("Processor 2: A"), processor("Processor 40: A")}},
         {"W32GetProcessor",
          {{{"firmwareId", "1.3.6"}},
           {{"firmwareId", "1.3.6"}},
           {{"firmwareId", "1.3.6"}},
           {{"firmwareId", "1.3.6"}},
           {{"firmwareId", "1.3.6"}}}}});
  // Without a processor monitor no processor row is completed.
  ASSERT_EQ(CDeviceTable::hrInit(), 0u);
  EXPECT_EQ(CDeviceEntry::hrGetProcessor(1), nullptr);
  CDeviceTable::CleanupTable(g_p_deviceList);

  CS_ridovoApp app;
  auto* monitor = new CRIDOVOPROCESS;
  app.ProcessSetForTesting(monitor);
  for (int p = 0; p < 3; ++p) monitor->LoadSet(p, static_cast<DWORD>(10 * (p + 1)));
  ASSERT_EQ(CDeviceTable::hrInit(), 0u);

  std::vector<int> numbers;
  std::vector<DWORD> loads;
  DWORD index = 0;
  while (CProcessorEntry* entry = CDeviceEntry::hrGetNextProcessor(index)) {
    EXPECT_EQ(entry->hrDeviceIndexGet(), index);
    EXPECT_EQ(entry->hrProcessorFrwIDGet().length, 3u);
    numbers.push_back(entry->ProcessorIDGet());
    loads.push_back(entry->hrProcessorLoadGet());
  }
  EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 40})) << "five records, four rows: one each";
  EXPECT_EQ(loads, (std::vector<DWORD>{10, 20, 30, 0}));

  monitor->LoadSet(1, 99);
  DWORD deviceIndex = 0;
  HROBJECTID id{};
  DWORD load = 0;
  CDeviceEntry::hrGetProcessor(3)->hrEntryGet(deviceIndex, id, load);
  EXPECT_EQ(load, 99u) << "read afresh";
  EXPECT_EQ(deviceIndex, 3u);
  EXPECT_EQ(CDeviceEntry::hrGetProcessor(2), nullptr) << "a network device's index";
  CDeviceTable::CleanupTable(g_p_deviceList);
}

TEST(DiskSignature, TheMiddleFieldReadAsWcstoulReadsHex) {
  const struct {
    const char16_t* identifier;
    DWORD signature;
  } cases[] = {
      {u"sda-1a2b3c4d-MBR", 0x1A2B3C4D},
      {u"vda", 0},
      {u"-10", 0x10},
      {u"x-  +0x1F-y", 0x1F},
      {u"x-0x-y", 0},
      {u"x-123456789-GPT", 0xFFFFFFFF},
      {u"x--y", 0},
      {u"x-12zz-y", 0x12},
      {u"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDeviceTable::GetDiskSignature(c.identifier), c.signature) << std::string(
        c.identifier, c.identifier + std::char_traits<char16_t>::length(c.identifier));
  }
  EXPECT_EQ(CDeviceTable::GetDiskSignature(nullptr), 0u);
  // Only 65 characters after the "-" are read; a field stops at its end.
  std::u16string longField = u"d-" + std::u16string(64, u'0') + u"7" + u"8";
  EXPECT_EQ(CDeviceTable::GetDiskSignature(longField.c_str()), 7u);
  const char16_t unterminated[] = {u'd', u'-', u'a', u'b'};
  EXPECT_EQ(HrDiskSignature(unterminated, 3), 0xAu);
}

}  // namespace
