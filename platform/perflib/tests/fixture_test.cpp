#include "fixture.h"

#include <gtest/gtest.h>

#include "fixture_source.h"
#include "fixture_writer.h"
#include "test_support.h"
#include "wlperf/block_reader.h"

namespace {

using wl::perf::Fixture;
using wl::perf::ParseFixture;

constexpr const char* kExample = R"({ "perfFreq": 10000000,
  "memory": { "totalPhys": 67108864, "availPhys": 16777216 },
  "drives": { "C:": { "totalBytes": 8589934592, "freeBytes": 2147483648 } },
  "objects": [
    { "index": 238, "name": "Processor",
      "counters": [ { "index": 6, "name": "% Processor Time", "size": 8, "type": "PERF_100NSEC_TIMER_INV" } ],
      "instances": [ { "name": "0", "values": [123400000] },
                     { "name": "1", "values": [246800000] } ] },
    { "index": 4, "name": "Memory",
      "counters": [ { "index": 1382, "name": "Available Bytes", "size": 4 } ],
      "values": [16777216] } ] })";

TEST(PerfFixture, ParsesTheDocumentedExample) {
  Fixture fixture;
  std::string error;
  ASSERT_TRUE(ParseFixture(kExample, &fixture, &error)) << error;
  EXPECT_EQ(fixture.perfFreq, 10000000);
  ASSERT_TRUE(fixture.memory);
  EXPECT_EQ(fixture.memory->availPhys, 16777216u);
  EXPECT_EQ(fixture.drives.at("C:").totalBytes, 8589934592u);
  ASSERT_EQ(fixture.objects.size(), 2u);
  const wlperf::ObjectSpec& processor = fixture.objects[0];
  EXPECT_TRUE(processor.hasInstances);
  ASSERT_EQ(processor.instances.size(), 2u);
  EXPECT_EQ(processor.instances[1].values[0], 246800000);
  EXPECT_EQ(processor.counters[0].type, PERF_100NSEC_TIMER_INV);
  EXPECT_EQ(processor.counters[0].size, 8u);
  const wlperf::ObjectSpec& memory = fixture.objects[1];
  EXPECT_FALSE(memory.hasInstances);
  EXPECT_EQ(memory.values, std::vector<int64_t>{16777216});
  EXPECT_EQ(memory.counters[0].type, PERF_COUNTER_RAWCOUNT);
  EXPECT_EQ(fixture.names.at(1382), "Available Bytes");
  EXPECT_EQ(fixture.names.at(238), "Processor");
}

TEST(PerfFixture, EmptyInstancesDifferFromNoInstances) {
  Fixture fixture;
  std::string error;
  ASSERT_TRUE(ParseFixture(R"({"objects": [
      {"index": 1300, "counters": [], "instances": []},
      {"index": 2, "counters": [], "values": []}]})",
                           &fixture, &error))
      << error;
  EXPECT_TRUE(fixture.objects[0].hasInstances);
  EXPECT_TRUE(fixture.objects[0].instances.empty());
  EXPECT_FALSE(fixture.objects[1].hasInstances);
}

TEST(PerfFixture, TypesBySizeNumberAndName) {
  Fixture fixture;
  std::string error;
  ASSERT_TRUE(ParseFixture(R"({"objects": [{"index": 2, "counters": [
      {"index": 16, "type": "PERF_COUNTER_BULK_COUNT"},
      {"index": 10, "type": 272696320},
      {"index": 11, "size": 8},
      {"index": 12, "size": 3},
      {"index": 13}],
      "values": [18446744073709551615, -2147483648, 1, 2, 3]}]})",
                           &fixture, &error))
      << error;
  const auto& counters = fixture.objects[0].counters;
  EXPECT_EQ(counters[0].size, 8u);  // from the type's size bits
  EXPECT_EQ(counters[1].type, PERF_COUNTER_COUNTER);
  EXPECT_EQ(counters[1].size, 4u);
  EXPECT_EQ(counters[2].type, PERF_COUNTER_LARGE_RAWCOUNT);
  EXPECT_EQ(counters[3].size, 3u);  // odd sizes are kept for tests of readers
  EXPECT_EQ(counters[4].size, 4u);
  EXPECT_EQ(fixture.objects[0].values[0], -1);  // 2^64-1 keeps its bits
}

TEST(PerfFixture, MalformedDocumentsNameTheirFault) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"{", "parse"},
      {"[]", "JSON object"},
      {R"({"objects": {}})", "objects: must be an array"},
      {R"({"objects": [{"counters": []}]})", "objects[0]: \"index\" is missing"},
      {R"({"objects": [{"index": 2, "counters": [{"index": 10}], "values": []}]})",
       "objects[0].values: has 0 values for 1 counters"},
      {R"({"objects": [{"index": 2, "counters": [{"index": 10}]}]})", "\"values\" is missing"},
      {R"({"objects": [{"index": 2, "counters": [{"index": 10}], "values": [1.5]}]})",
       "objects[0].values[0]: must be an integer"},
      {R"({"objects": [{"index": 2, "counters": [{"index": 10, "type": "PERF_BOGUS"}], "values": [1]}]})",
       "unknown counter type \"PERF_BOGUS\""},
      {R"({"objects": [{"index": 2, "counters": [{"index": 10, "size": 100000}], "values": [1]}]})",
       "objects[0].counters[0].size"},
      {R"({"objects": [{"index": 4000000000, "counters": [], "values": []}]})", "objects[0].index"},
      {R"({"objects": [{"index": 2, "name": "System", "counters": [{"index": 2, "name": "Other"}], "values": [1]}]})",
       "index 2 is already named \"System\""},
      {R"({"objects": [{"index": 238, "counters": [], "instances": [{"values": []}]}]})",
       "objects[0].instances[0]: \"name\" is missing"},
      {R"({"drives": {"C:": {"totalBytes": 1}}})", "drives.C:"},
      {R"({"drives": {"1:": {"totalBytes": 1, "freeBytes": 1}}})", "not a drive letter"},
      {R"({"memory": {"totalPhys": -1}})", "memory.totalPhys"},
      {R"({"objects": [{"index": 2, "name": "a\u0000b", "counters": [], "values": []}]})", "NUL"},
  };
  for (const auto& c : cases) {
    Fixture fixture;
    std::string error;
    EXPECT_FALSE(ParseFixture(c.text, &fixture, &error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " -> " << error;
    EXPECT_TRUE(fixture.objects.empty());
  }
  Fixture fixture;
  std::string error;
  EXPECT_FALSE(ParseFixture(std::string(100000, '['), &fixture, &error));
  EXPECT_NE(error.find("nested too deeply"), std::string::npos);
}

TEST(PerfFixture, DriveNamesAreNormalized) {
  EXPECT_EQ(wl::perf::NormalizeDrive("c:"), "C:");
  EXPECT_EQ(wl::perf::NormalizeDrive("D"), "D:");
  EXPECT_EQ(wl::perf::NormalizeDrive("e:\\"), "E:");
  EXPECT_EQ(wl::perf::NormalizeDrive("C:x"), "");
  EXPECT_EQ(wl::perf::NormalizeDrive(""), "");
}

TEST(PerfFixtureSource, FollowsRewritesAndReportsMalformedFilesOnce) {
  perftest::TempDir dir;
  const std::string path = dir.Path("perf.json");
  const perftest::ScopedEnv env("WARDENLINE_PERFDATA", path);
  const auto write = [&](int value) {
    perftest::WriteFile(path,
                        R"({"objects": [{"index": 2, "counters": [{"index": 10}], "values": [)" +
                            std::to_string(value) + "]}]}");
  };
  write(11);
  auto state = wl::perf::CurrentFixture();
  ASSERT_TRUE(state && state->usable);
  EXPECT_EQ(state->fixture.objects[0].values[0], 11);
  EXPECT_EQ(wl::perf::CurrentFixture(), state);  // unchanged file: same parse
  write(12);                                     // same size, very likely the same timestamp
  state = wl::perf::CurrentFixture();
  EXPECT_EQ(state->fixture.objects[0].values[0], 12);

  perftest::WriteFile(path, "{ not json");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(wl::perf::CurrentFixture()->usable);
  EXPECT_FALSE(wl::perf::CurrentFixture()->usable);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(path), std::string::npos) << report;
  EXPECT_EQ(report.find('\n'), report.size() - 1) << "reported once: " << report;

  std::filesystem::remove(path);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(wl::perf::CurrentFixture()->usable);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be read"), std::string::npos);
  write(13);
  EXPECT_EQ(wl::perf::CurrentFixture()->fixture.objects[0].values[0], 13);
}

}  // namespace

namespace {

// A capture written by the fixture writer reads back to the same objects,
// counters, instances and values, odd counter sizes and negative values included.
TEST(PerfFixtureWriter, CaptureReplaysExactly) {
  wlperf::BlockSpec spec;
  spec.perfFreq = 1000;
  spec.perfTime = 77;
  spec.objects = {
      wlperf::InstanceObject(238, {{6, PERF_100NSEC_TIMER_INV, 8}, {9999, 0x12345678u, 3}},
                             {{"0", {1LL << 40, 0x123456}}, {"caf\xC3\xA9 \"q\"", {-7, 1}}}),
      wlperf::SingleObject(4, {{24, PERF_COUNTER_RAWCOUNT, 4}}, {-5}),
      wlperf::InstanceObject(1300, {}, {}),
  };
  const std::vector<BYTE> bytes = wlperf::BuildBlock(spec);
  wlperf::DecodedBlock original;
  ASSERT_TRUE(wlperf::DecodeBlock(bytes.data(), bytes.size(), &original, nullptr));
  wl::perf::NameTable names = {{238, "Processor"}, {6, "% Processor Time"}, {4, "Memory"}};
  wl::perf::FixtureMemory memory;
  memory.totalPhys = 100;
  memory.availPhys = 25;
  const std::string text =
      wl::perf::WriteFixture(original, names, memory, {{"C:", {8589934592, 2147483648}}});

  Fixture fixture;
  std::string error;
  ASSERT_TRUE(ParseFixture(text, &fixture, &error)) << error << "\n" << text;
  EXPECT_EQ(fixture.perfFreq, 1000);
  EXPECT_EQ(fixture.perfTime, 77);
  EXPECT_EQ(fixture.memory->availPhys, 25u);
  EXPECT_EQ(fixture.drives.at("C:").freeBytes, 2147483648u);
  EXPECT_EQ(fixture.names, names);
  wlperf::BlockSpec replaySpec;
  replaySpec.objects = fixture.objects;
  const std::vector<BYTE> replayBytes = wlperf::BuildBlock(replaySpec);
  wlperf::DecodedBlock replay;
  ASSERT_TRUE(wlperf::DecodeBlock(replayBytes.data(), replayBytes.size(), &replay, nullptr));
  ASSERT_EQ(replay.objects.size(), original.objects.size());
  for (size_t o = 0; o < original.objects.size(); ++o) {
    const wlperf::DecodedObject& a = original.objects[o];
    const wlperf::DecodedObject& b = replay.objects[o];
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.numInstances, b.numInstances);
    ASSERT_EQ(a.counters.size(), b.counters.size());
    for (size_t c = 0; c < a.counters.size(); ++c) {
      EXPECT_EQ(a.counters[c].index, b.counters[c].index);
      EXPECT_EQ(a.counters[c].type, b.counters[c].type);
      EXPECT_EQ(a.counters[c].size, b.counters[c].size);
    }
    EXPECT_EQ(a.values, b.values);
    ASSERT_EQ(a.instances.size(), b.instances.size());
    for (size_t i = 0; i < a.instances.size(); ++i) {
      EXPECT_EQ(a.instances[i].name, b.instances[i].name);
      EXPECT_EQ(a.instances[i].values, b.instances[i].values);
    }
  }
}

}  // namespace
