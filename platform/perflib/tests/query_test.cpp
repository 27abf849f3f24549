#include <gtest/gtest.h>

#include <map>

#include "core/perf_seam.h"
#include "test_support.h"
#include "win32/registry.h"
#include "wlperf/block_reader.h"

namespace {

constexpr const char* kFixture = R"({ "perfFreq": 3579545,
  "memory": { "totalPhys": 67108864, "availPhys": 16777216 },
  "drives": { "c:": { "totalBytes": 8589934592, "freeBytes": 2147483648 } },
  "objects": [
    { "index": 238, "name": "Processor",
      "counters": [ { "index": 6, "name": "% Processor Time", "type": "PERF_100NSEC_TIMER_INV" } ],
      "instances": [ { "name": "0", "values": [123400000] }, { "name": "1", "values": [246800000] } ] },
    { "index": 4, "name": "Memory",
      "counters": [ { "index": 24, "name": "Available Bytes", "size": 4 },
                    { "index": 5000, "name": "Huge", "size": 8 } ],
      "values": [16777216, 5000000000] },
    { "index": 1300, "name": "Server Work Queues", "counters": [], "instances": [] } ] })";

class PerfFixtureQuery : public testing::Test {
 protected:
  void SetUp() override { perftest::WriteFile(path_, kFixture); }
  perftest::TempDir dir_;
  std::string path_ = dir_.Path("fixture.json");
  perftest::ScopedEnv env_{"WARDENLINE_PERFDATA", path_};
};

// Queries `name` the way callers do: grow the buffer until it fits.
std::vector<BYTE> Query(const char* name, LONG* result, DWORD* type = nullptr) {
  std::vector<BYTE> buffer(16);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    *result = wl::QueryPerformanceData(name, type, buffer.data(), &size);
    if (*result != ERROR_MORE_DATA) {
      buffer.resize(*result == ERROR_SUCCESS ? size : 0);
      return buffer;
    }
    EXPECT_GT(size, buffer.size());
    buffer.resize(size);
  }
}

wlperf::DecodedBlock QueryBlock(const char* name) {
  LONG result = 0;
  DWORD type = 0;
  const std::vector<BYTE> bytes = Query(name, &result, &type);
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  wlperf::DecodedBlock block;
  std::string error;
  EXPECT_TRUE(wlperf::DecodeBlock(bytes.data(), bytes.size(), &block, &error)) << error;
  return block;
}

// The "Counter 009" text parsed back into index -> name, checking its form.
std::map<DWORD, std::string> CounterNames() {
  LONG result = 0;
  DWORD type = 0;
  const std::vector<BYTE> bytes = Query("Counter 009", &result, &type);
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_EQ(type, REG_MULTI_SZ);
  std::map<DWORD, std::string> names;
  const std::string text(bytes.begin(), bytes.end());
  size_t at = 0;
  for (;;) {
    const size_t end = text.find('\0', at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated text";
      break;
    }
    if (end == at) {
      EXPECT_EQ(at + 1, text.size()) << "the empty string ends the text";
      break;
    }
    const std::string index = text.substr(at, end - at);
    const size_t nameEnd = text.find('\0', end + 1);
    if (nameEnd == std::string::npos) {
      ADD_FAILURE() << "index without a name";
      break;
    }
    names[static_cast<DWORD>(std::stoul(index))] = text.substr(end + 1, nameEnd - end - 1);
    at = nameEnd + 1;
  }
  return names;
}

TEST_F(PerfFixtureQuery, ListedObjectsComeInTheAskedOrderAndAbsentOnesAreLeftOut) {
  const wlperf::DecodedBlock block = QueryBlock("4 330 238 4");
  ASSERT_EQ(block.objects.size(), 2u);
  EXPECT_EQ(block.objects[0].index, 4u);
  EXPECT_EQ(block.objects[1].index, 238u);
  EXPECT_EQ(block.perfFreq, 3579545);
  EXPECT_EQ(QueryBlock("330").objects.size(), 0u);
  EXPECT_EQ(QueryBlock("Global").objects.size(), 3u);
  EXPECT_EQ(QueryBlock("").objects.size(), 3u);
}

TEST_F(PerfFixtureQuery, CounterSizesAndValuesSurvive) {
  const wlperf::DecodedBlock block = QueryBlock("4 1300");
  const wlperf::DecodedObject& memory = block.objects[0];
  EXPECT_EQ(memory.numInstances, PERF_NO_INSTANCES);
  EXPECT_EQ(memory.counters[0].size, 4u);
  EXPECT_EQ(memory.counters[1].size, 8u);
  EXPECT_EQ(memory.values[0], 16777216);
  EXPECT_EQ(memory.values[1], 5000000000);
  EXPECT_EQ(block.objects[1].numInstances, 0);
}

TEST_F(PerfFixtureQuery, EveryTitleIndexResolvesThroughTheNameTable) {
  const std::map<DWORD, std::string> names = CounterNames();
  EXPECT_EQ(names.at(238), "Processor");
  EXPECT_EQ(names.at(5000), "Huge");
  EXPECT_EQ(names.at(2), "System");  // built-in names stay
  for (const wlperf::DecodedObject& object : QueryBlock("Global").objects) {
    EXPECT_TRUE(names.count(object.index)) << object.index;
    for (const wlperf::DecodedCounter& counter : object.counters) {
      EXPECT_TRUE(names.count(counter.index)) << counter.index;
    }
  }
  DWORD lastCounter = 0, lastHelp = 0;
  wl::PerflibLastIndexes(&lastCounter, &lastHelp);
  EXPECT_EQ(lastCounter, names.rbegin()->first);
  EXPECT_EQ(lastCounter, 5000u);
  EXPECT_EQ(lastHelp, 5001u);
}

TEST_F(PerfFixtureQuery, BufferSizesFollowWin32) {
  DWORD needed = 0;
  DWORD type = 0;
  ASSERT_EQ(wl::QueryPerformanceData("238", &type, nullptr, &needed), ERROR_SUCCESS);
  ASSERT_GT(needed, sizeof(PERF_DATA_BLOCK));
  std::vector<BYTE> buffer(needed);
  DWORD size = needed - 1;
  EXPECT_EQ(wl::QueryPerformanceData("238", nullptr, buffer.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, needed);
  size = needed;
  EXPECT_EQ(wl::QueryPerformanceData("238", nullptr, buffer.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(std::memcmp(buffer.data(), u"PERF", 8), 0);

  ASSERT_EQ(wl::QueryPerformanceData("Counter 009", nullptr, nullptr, &needed), ERROR_SUCCESS);
  size = needed - 1;
  EXPECT_EQ(wl::QueryPerformanceData("Counter 009", nullptr, buffer.data(), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(wl::QueryPerformanceData("238", nullptr, buffer.data(), nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(PerfFixtureQuery, UnknownValueNamesAreNotFound) {
  DWORD size = 0;
  for (const char* name : {"Help 010", "238x", "x238", "-4", "  ", "99999999999"}) {
    EXPECT_EQ(wl::QueryPerformanceData(name, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND)
        << name;
  }
  EXPECT_EQ(QueryBlock("global").objects.size(), 3u);  // value names ignore case
  EXPECT_EQ(QueryBlock(" 238\t4 ").objects.size(), 2u);
}

TEST_F(PerfFixtureQuery, MemoryAndDiskSpaceComeFromTheFixture) {
  MEMORYSTATUS status{};
  ASSERT_TRUE(wl::FixtureMemoryStatus(&status));
  EXPECT_EQ(status.dwTotalPhys, 67108864u);
  EXPECT_EQ(status.dwAvailPhys, 16777216u);
  EXPECT_EQ(status.dwMemoryLoad, 75u);
  bool found = false;
  unsigned long long total = 0, free = 0;
  ASSERT_TRUE(wl::FixtureDiskSpace("C:", &found, &total, &free));
  EXPECT_TRUE(found);
  EXPECT_EQ(total, 8589934592ull);
  EXPECT_EQ(free, 2147483648ull);
  ASSERT_TRUE(wl::FixtureDiskSpace("D:", &found, &total, &free));
  EXPECT_FALSE(found);
}

TEST_F(PerfFixtureQuery, MalformedFixtureYieldsNoData) {
  perftest::WriteFile(path_, R"({"objects": [{"index": 2}]})");
  testing::internal::CaptureStderr();
  EXPECT_EQ(QueryBlock("Global").objects.size(), 0u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("\"counters\" must be an array"),
            std::string::npos);
  MEMORYSTATUS status{};
  EXPECT_FALSE(wl::FixtureMemoryStatus(&status));
  bool found = true;
  unsigned long long total = 0, free = 0;
  EXPECT_TRUE(wl::FixtureDiskSpace("C:", &found, &total, &free));
  EXPECT_FALSE(found);
  EXPECT_EQ(CounterNames().count(238), 1u);  // the built-in names remain
}

TEST(PerfNoFixture, SeamsStepAside) {
  unsetenv("WARDENLINE_PERFDATA");
  MEMORYSTATUS status{};
  EXPECT_FALSE(wl::FixtureMemoryStatus(&status));
  bool found = false;
  unsigned long long total = 0, free = 0;
  EXPECT_FALSE(wl::FixtureDiskSpace("C:", &found, &total, &free));
}

}  // namespace

namespace {

// The registry answers HKEY_PERFORMANCE_DATA and the Perflib indexes from this
// provider: the same objects and the same "Last Counter" come back that way.
TEST_F(PerfFixtureQuery, RegistryRouteGivesTheSameAnswers) {
  std::vector<BYTE> buffer(12288);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "238 4", nullptr, &type, buffer.data(), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  wlperf::DecodedBlock viaRegistry;
  ASSERT_TRUE(wlperf::DecodeBlock(buffer.data(), size, &viaRegistry, nullptr));
  const wlperf::DecodedBlock direct = QueryBlock("238 4");
  ASSERT_EQ(viaRegistry.objects.size(), direct.objects.size());
  for (size_t o = 0; o < direct.objects.size(); ++o) {
    EXPECT_EQ(viaRegistry.objects[o].index, direct.objects[o].index);
    EXPECT_EQ(viaRegistry.objects[o].values, direct.objects[o].values);
    ASSERT_EQ(viaRegistry.objects[o].instances.size(), direct.objects[o].instances.size());
  }
  size = 1;
  EXPECT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "238", nullptr, nullptr, buffer.data(), &size),
            ERROR_MORE_DATA);

  HKEY perflib = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib",
                    0, KEY_READ, &perflib),
      ERROR_SUCCESS);
  DWORD lastCounter = 0;
  size = sizeof(lastCounter);
  EXPECT_EQ(RegQueryValueExA(perflib, "Last Counter", nullptr, &type,
                             reinterpret_cast<BYTE*>(&lastCounter), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(lastCounter, 5000u);
  RegCloseKey(perflib);
}

}  // namespace
