// The parsers of system files and the record schemas, on hand-made inputs.
#include <gtest/gtest.h>

#include "block_devices.h"
#include "dpkg_status.h"
#include "fixture.h"
#include "input_devices.h"
#include "mountinfo.h"
#include "schema.h"
#include "text.h"
#include "unit_file.h"

namespace wl::host {
namespace {

TEST(ProviderMountInfo, FieldsEscapesAndBadLines) {
  const auto mounts = ParseMountInfo(
      "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "garbage line\n"
      "27 26 0:24 / /mnt/with\\040space ro,nosuid master:2 unbindable - tmpfs none rw\n"
      "28 26 x:1 / /bad rw - ext4 /dev/x rw\n"
      "29 26 0:5 / /nosep rw\n");
  ASSERT_EQ(2u, mounts.size());
  EXPECT_EQ(254u, mounts[0].major);
  EXPECT_EQ("/", mounts[0].mountPoint);
  EXPECT_EQ("ext4", mounts[0].fsType);
  EXPECT_EQ("/dev/vda", mounts[0].source);
  EXPECT_FALSE(mounts[0].readOnly);
  EXPECT_EQ("/mnt/with space", mounts[1].mountPoint);
  EXPECT_TRUE(mounts[1].readOnly);
  EXPECT_EQ("tmpfs", mounts[1].fsType);
}

TEST(ProviderDpkgStatus, InstalledPackagesAndVersions) {
  const auto packages = ParseDpkgStatus(
      "Package: libc6\nStatus: install ok installed\nPriority: required\nSection: libs\n"
      "Architecture: amd64\nMulti-Arch: same\nVersion: 2.36-9+deb12u4\n"
      "Description: GNU C Library\n continuation: not a field\n\n"
      "Package: gone\nStatus: deinstall ok config-files\nVersion: 1.0\n\n\n"
      "Package: epochal\nStatus: install ok installed\nEssential: yes\nVersion: 1:9.18.1-2~bpo1\n");
  ASSERT_EQ(2u, packages.size());
  EXPECT_EQ("libc6", packages[0].name);
  EXPECT_TRUE(packages[0].multiArchSame);
  EXPECT_EQ("required", packages[0].priority);
  EXPECT_EQ("epochal", packages[1].name);
  EXPECT_TRUE(packages[1].essential);
  EXPECT_EQ("1:9.18.1-2~bpo1", packages[1].version);

  uint32_t major = 7, minor = 7;
  VersionNumbers("1:9.18.1-2~bpo1", &major, &minor);
  EXPECT_EQ(9u, major);
  EXPECT_EQ(18u, minor);
  VersionNumbers("20230210-5", &major, &minor);
  EXPECT_EQ(20230210u, major);
  EXPECT_EQ(0u, minor);
  VersionNumbers("git20200101-1", &major, &minor);
  EXPECT_EQ(0u, major);
  VersionNumbers("99999999999.1", &major, &minor);  // does not fit 32 bits
  EXPECT_EQ(0u, major);
  EXPECT_EQ(1u, minor);
  VersionNumbers("2:", &major, &minor);
  EXPECT_EQ(0u, major);
}

TEST(ProviderUnitFile, DescriptionAndCommand) {
  const UnitInfo unit = ParseUnitFile(
      "[Unit]\nDescription=OpenBSD Secure Shell server\n# ExecStart=/not/this\n"
      "[Service]\nExecStart=\nExecStart=-/usr/sbin/sshd -D \\\n  $SSHD_OPTS\n"
      "ExecStart=/second\n[Install]\nDescription=ignored\n");
  EXPECT_EQ("OpenBSD Secure Shell server", unit.description);
  EXPECT_EQ("/usr/sbin/sshd -D $SSHD_OPTS", unit.execStart);
  EXPECT_EQ("/usr/sbin/sshd", CommandProgram(unit.execStart));
  EXPECT_EQ("/opt/my tool", CommandProgram("\"/opt/my tool\" --x"));
  EXPECT_EQ("", ParseUnitFile("ExecStart=/outside/section\n[Service").execStart);
}

TEST(ProviderDiskSignature, MbrGptAndNone) {
  std::string sector0(512, '\0');
  std::string kind;
  uint32_t signature = 1;
  SignatureFromSectors(sector0, "", &kind, &signature);
  EXPECT_EQ("NONE", kind);
  EXPECT_EQ(0u, signature);

  sector0[440] = '\x4d', sector0[441] = '\x3c', sector0[442] = '\x2b', sector0[443] = '\x1a';
  sector0[510] = '\x55', sector0[511] = '\xAA';
  SignatureFromSectors(sector0, "", &kind, &signature);
  EXPECT_EQ("MBR", kind);
  EXPECT_EQ(0x1a2b3c4du, signature);

  // A protective MBR and a GPT header: the disk GUID folds to 32 bits, the
  // same way as udev's text form of it.
  sector0[446 + 4] = '\xEE';
  std::string header(512, '\0');
  header.replace(0, 8, "EFI PART");
  const unsigned char guid[16] = {0x78, 0x56, 0x34, 0x12, 0xbc, 0x9a, 0xf0, 0xde,
                                  0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  header.replace(56, 16, reinterpret_cast<const char*>(guid), 16);
  SignatureFromSectors(sector0, header, &kind, &signature);
  EXPECT_EQ("GPT", kind);
  EXPECT_EQ(0x12345678u ^ 0xdef09abcu ^ 0x04030201u ^ 0x08070605u, signature);
  uint32_t fromText = 0;
  ASSERT_TRUE(SignatureFromText("12345678-9abc-def0-0102-030405060708", &fromText));
  EXPECT_EQ(signature, fromText);
  ASSERT_TRUE(SignatureFromText("0x1a2b3c4d", &fromText));
  EXPECT_EQ(0x1a2b3c4du, fromText);
  EXPECT_FALSE(SignatureFromText("not-a-guid", &fromText));
}

TEST(ProviderInputDevices, KeyboardsPointersAndOthers) {
  const std::string allKeys = "fffffffffffffffe";  // KEY_ESC .. KEY_* of the first word
  EXPECT_EQ(InputKind::kKeyboard, ClassifyInput("120013", "3 0 0 " + allKeys, "", ""));
  // Mouse: EV_KEY|EV_REL, BTN_LEFT (0x110, word 4 bit 16), REL_X and REL_Y.
  EXPECT_EQ(InputKind::kPointer, ClassifyInput("17", "70000 0 0 0 0", "103", "0"));
  // A power button has keys, but not the first row of a keyboard.
  EXPECT_EQ(InputKind::kOther, ClassifyInput("3", "10000000000000 0", "", ""));
  EXPECT_EQ(InputKind::kOther, ClassifyInput("", "", "", ""));
  EXPECT_FALSE(BitmapHas("zz", 0));
}

TEST(ProviderText, WideFieldsTruncateWithoutSplittingPairs) {
  WCHAR field[4];
  CopyWide(field, "ab\xF0\x9F\x98\x80");  // "ab" and one character beyond U+FFFF
  EXPECT_EQ(u"ab", std::u16string(WideField(field, 4)));
  CopyWide(field, "\xC3\xA9\xFF");  // é, then a byte that is not UTF-8
  EXPECT_EQ(u"\u00e9\ufffd", std::u16string(WideField(field, 4)));
  EXPECT_TRUE(NaturalLess("sda2", "sda10"));
  EXPECT_FALSE(NaturalLess("sdb", "sda10"));
}

// The schemas describe the records at the byte offsets the consumer reads.
TEST(ProviderSchema, OffsetsFollowTheRecordLayouts) {
  const auto offset = [](const char* call, const char* field) -> long {
    for (const Field& f : FindCall(call)->fields) {
      if (std::string(f.name) == field) return static_cast<long>(f.offset);
    }
    return -1;
  };
  EXPECT_EQ(1572u, FindCall("W32GetStorage")->recordSize);
  EXPECT_EQ(1048, offset("W32GetStorage", "label"));
  EXPECT_EQ(1568, offset("W32GetStorage", "partition"));
  EXPECT_EQ(1744u, FindCall("W32GetDevice")->recordSize);
  EXPECT_EQ(1144, offset("W32GetDevice", "networkIndex"));
  EXPECT_EQ(1660, offset("W32GetDevice", "firmwareId"));
  EXPECT_EQ(12, offset("W32GetNetwork", "networkIndex"));
  EXPECT_EQ(520, offset("W32GetPrinter", "detectedErrorState"));
  EXPECT_EQ(88, offset("W32GetDiskStorage", "media"));
  EXPECT_EQ(532, offset("W32GetPartition", "type"));
  EXPECT_EQ(40, offset("W32GetFileSystem", "lastPartialBackup"));
  EXPECT_EQ(2060, offset("RegGetScsiDiskStorage", "media"));
  EXPECT_EQ(2580, offset("RegGetNonScsiDiskStorage", "media"));
  EXPECT_EQ(2572, offset("RegGetKeyboard", "start"));
  EXPECT_EQ(2576, offset("RegGetDeviceVideo", "start"));
  EXPECT_EQ(2056, offset("RegGetSerialComm", "start"));
  EXPECT_EQ(2064u, FindCall("RegGetSerialComm")->recordSize);
  EXPECT_EQ(2580, offset("RegGetPointerPort", "description"));
  EXPECT_EQ(4648, offset("RegGetSoftwareInstalled", "installTime"));
  EXPECT_EQ(4656u, FindCall("RegGetSoftwareInstalled")->recordSize);
}

TEST(ProviderFixture, ReplaysRecordsAndFailuresAndNamesFaults) {
  FixtureAnswers answers;
  std::string error;
  ASSERT_TRUE(ParseProviderFixture(
      R"({"W32GetStorage": {"result": -3},
          "W32GetDevice": [{"type": 3, "description": "Processor 0: x", "deviceId": "0.0",
                            "mac": "02:00:00:00:00:0a", "firmwareId": "0.0.1"}],
          "W32GetSystemTime": {"time": {"year": 2026, "month": 3}},
          "W32GetUserCount": {"result": 5}})",
      &answers, &error))
      << error;
  EXPECT_EQ(-3, answers["W32GetStorage"].result);
  ASSERT_EQ(1u, answers["W32GetDevice"].records.size());
  W32DeviceRecord device;
  std::memcpy(&device, answers["W32GetDevice"].records[0].data(), sizeof(device));
  EXPECT_EQ(u"Processor 0: x", std::u16string(WideField(device.description, 514)));
  EXPECT_EQ(10, device.mac[5]);
  EXPECT_EQ(3u, device.firmwareId.length);
  EXPECT_EQ(5, answers["W32GetUserCount"].result);

  // What is written reads back to the same bytes.
  FixtureAnswers again;
  ASSERT_TRUE(ParseProviderFixture(WriteProviderFixture(answers), &again, &error)) << error;
  EXPECT_EQ(answers["W32GetDevice"].records, again["W32GetDevice"].records);
  EXPECT_EQ(answers["W32GetSystemTime"].records, again["W32GetSystemTime"].records);

  const std::pair<const char*, const char*> faults[] = {
      {R"({"W32GetStorage": [{"size": -1}]})", "W32GetStorage[0].size: must be an integer"},
      {R"({"W32GetStorage": [{"sise": 1}]})", "W32GetStorage[0].sise: is not a field"},
      {R"({"W32GetStorage": {"result": 2}})", "W32GetStorage.result: must be negative"},
      {R"({"W32GetNoSuch": []})", "W32GetNoSuch: is not a provider call"},
      {R"({"W32GetDevice": [{"mac": "02:00"}]})", "W32GetDevice[0].mac:"},
      {R"({"W32GetDevice": [{"deviceId": "1.2.x"}]})", "W32GetDevice[0].deviceId:"},
      {R"({"W32GetPrinter": [{"name": "this name is far too long )"
       R"(xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx)"
       R"(xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx)"
       R"(xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}]})",
       "W32GetPrinter[0].name: is longer than 257"},
      {R"({"W32GetSystemTime": {"time": {"yaer": 1}}})", "W32GetSystemTime.time.yaer:"},
      {"[1]", "the document must be a JSON object"},
      {"{", "not valid JSON"}};
  for (const auto& [text, expected] : faults) {
    EXPECT_FALSE(ParseProviderFixture(text, &answers, &error)) << text;
    EXPECT_NE(std::string::npos, error.find(expected)) << text << " -> " << error;
  }
}

}  // namespace
}  // namespace wl::host
