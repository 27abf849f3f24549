#include "wlperf/block_builder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "wlperf/block_reader.h"

namespace {

template <typename T>
T At(const std::vector<BYTE>& bytes, size_t offset) {
  T value;
  EXPECT_LE(offset + sizeof(T), bytes.size());
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

std::u16string NameAt(const std::vector<BYTE>& bytes, size_t offset, size_t length) {
  std::u16string name;
  for (size_t k = 0; k + 2 < length; k += 2) name.push_back(At<char16_t>(bytes, offset + k));
  EXPECT_EQ(At<char16_t>(bytes, offset + length - 2), u'\0');
  return name;
}

wlperf::BlockSpec SampleSpec() {
  wlperf::BlockSpec spec;
  spec.perfTime = 12345;
  spec.perfFreq = 1000;
  spec.perfTime100nSec = 99;
  spec.objects = {
      wlperf::SingleObject(4,
                           {{24, PERF_COUNTER_LARGE_RAWCOUNT, 8}, {26, PERF_COUNTER_RAWCOUNT, 4}},
                           {0x123456789ALL, -5}),
      wlperf::InstanceObject(238, {{6, PERF_100NSEC_TIMER_INV, 8}},
                             {{"0", {111}}, {"a longer name", {222}}}),
      wlperf::InstanceObject(234,
                             {{206, PERF_AVERAGE_TIMER, 4},
                              {206, PERF_AVERAGE_BASE, 4},
                              {1, PERF_COUNTER_RAWCOUNT, 2},
                              {218, PERF_COUNTER_BULK_COUNT, 8}},
                             {{"vda", {-1, 7, 0x10203, 1LL << 40}}}),
      wlperf::InstanceObject(236, {{408, PERF_RAW_FRACTION, 4}}, {}),
  };
  return spec;
}

// Walks the block by its lengths only, the way a reader must, and checks the
// layout rules on the way: every structure inside the block, instance
// definitions, names and counter blocks on 8-byte boundaries.
TEST(PerfBlockBuilder, NavigationByLengthsReachesEverything) {
  const wlperf::BlockSpec spec = SampleSpec();
  const std::vector<BYTE> bytes = wlperf::BuildBlock(spec);
  const auto header = At<PERF_DATA_BLOCK>(bytes, 0);
  EXPECT_EQ(std::u16string(header.Signature, 4), u"PERF");
  EXPECT_EQ(header.LittleEndian, 1u);
  EXPECT_EQ(header.TotalByteLength, bytes.size());
  EXPECT_EQ(header.HeaderLength % 8, 0u);
  EXPECT_EQ(header.NumObjectTypes, spec.objects.size());
  EXPECT_EQ(header.PerfFreq.QuadPart, 1000);
  EXPECT_EQ(header.PerfTime.QuadPart, 12345);
  EXPECT_EQ(header.PerfTime100nSec.QuadPart, 99);
  EXPECT_EQ(NameAt(bytes, header.SystemNameOffset, header.SystemNameLength), u"WARDENLINE");

  size_t object = header.HeaderLength;
  for (const wlperf::ObjectSpec& expected : spec.objects) {
    SCOPED_TRACE(expected.index);
    ASSERT_EQ(object % 8, 0u);
    const auto type = At<PERF_OBJECT_TYPE>(bytes, object);
    EXPECT_EQ(type.ObjectNameTitleIndex, expected.index);
    EXPECT_EQ(type.HeaderLength, sizeof(PERF_OBJECT_TYPE));
    ASSERT_EQ(type.NumCounters, expected.counters.size());
    std::vector<PERF_COUNTER_DEFINITION> definitions;
    size_t definition = object + type.HeaderLength;
    for (DWORD c = 0; c < type.NumCounters; ++c) {
      definitions.push_back(At<PERF_COUNTER_DEFINITION>(bytes, definition));
      EXPECT_EQ(definitions.back().CounterNameTitleIndex, expected.counters[c].index);
      EXPECT_EQ(definitions.back().CounterType, expected.counters[c].type);
      EXPECT_EQ(definitions.back().CounterSize, expected.counters[c].size);
      if (definitions.back().CounterSize == 8) {
        EXPECT_EQ(definitions.back().CounterOffset % 8, 0u);
      }
      definition += definitions.back().ByteLength;
    }
    EXPECT_LE(definition, object + type.DefinitionLength);

    const auto checkValues = [&](size_t counterBlock, const std::vector<int64_t>& values) -> DWORD {
      EXPECT_EQ(counterBlock % 8, 0u);
      const auto block = At<PERF_COUNTER_BLOCK>(bytes, counterBlock);
      EXPECT_EQ(block.ByteLength % 8, 0u);
      for (size_t c = 0; c < definitions.size(); ++c) {
        const size_t at = counterBlock + definitions[c].CounterOffset;
        EXPECT_LE(definitions[c].CounterOffset + definitions[c].CounterSize, block.ByteLength);
        uint64_t raw = 0;
        std::memcpy(&raw, bytes.data() + at, definitions[c].CounterSize);
        const uint64_t mask = definitions[c].CounterSize == 8
                                  ? ~0ULL
                                  : (1ULL << (8 * definitions[c].CounterSize)) - 1;
        EXPECT_EQ(raw, static_cast<uint64_t>(values[c]) & mask) << "counter " << c;
      }
      return block.ByteLength;
    };

    if (!expected.hasInstances) {
      EXPECT_EQ(type.NumInstances, PERF_NO_INSTANCES);
      const DWORD length = checkValues(object + type.DefinitionLength, expected.values);
      EXPECT_EQ(type.DefinitionLength + length, type.TotalByteLength);
    } else {
      ASSERT_EQ(type.NumInstances, static_cast<LONG>(expected.instances.size()));
      size_t instance = object + type.DefinitionLength;
      for (const wlperf::InstanceSpec& want : expected.instances) {
        ASSERT_EQ(instance % 8, 0u);
        const auto definition = At<PERF_INSTANCE_DEFINITION>(bytes, instance);
        EXPECT_EQ((instance + definition.NameOffset) % 8, 0u);
        EXPECT_EQ(NameAt(bytes, instance + definition.NameOffset, definition.NameLength),
                  wlperf::Utf8ToUtf16(want.name));
        const size_t counterBlock = instance + definition.ByteLength;
        instance = counterBlock + checkValues(counterBlock, want.values);
      }
      EXPECT_EQ(instance, object + type.TotalByteLength);
    }
    object += type.TotalByteLength;
  }
  EXPECT_EQ(object, bytes.size());
}

TEST(PerfBlockBuilder, ReaderRoundTripsValuesAndSizes) {
  const std::vector<BYTE> bytes = wlperf::BuildBlock(SampleSpec());
  wlperf::DecodedBlock block;
  std::string error;
  ASSERT_TRUE(wlperf::DecodeBlock(bytes.data(), bytes.size(), &block, &error)) << error;
  ASSERT_EQ(block.objects.size(), 4u);
  EXPECT_EQ(block.objects[0].numInstances, PERF_NO_INSTANCES);
  EXPECT_EQ(block.objects[0].values[0], 0x123456789ALL);
  EXPECT_EQ(block.objects[0].values[1], -5);  // a 4-byte counter widens with its sign
  EXPECT_EQ(block.objects[1].instances[1].name, u"a longer name");
  EXPECT_EQ(block.objects[1].instances[1].values[0], 222);
  const wlperf::DecodedInstance& disk = block.objects[2].instances[0];
  EXPECT_EQ(disk.values[0], -1);
  EXPECT_EQ(disk.values[2], 0x0203);  // a 2-byte counter keeps its two bytes
  EXPECT_EQ(disk.values[3], 1LL << 40);
  EXPECT_EQ(block.objects[3].numInstances, 0);
  EXPECT_TRUE(block.objects[3].instances.empty());
}

TEST(PerfBlockBuilder, ExplicitOffsetOutsideTheBlockReadsAsMissing) {
  wlperf::BlockSpec spec;
  spec.objects = {wlperf::SingleObject(2, {{10, PERF_COUNTER_COUNTER, 4, 1u << 20}}, {5})};
  const std::vector<BYTE> bytes = wlperf::BuildBlock(spec);
  wlperf::DecodedBlock block;
  ASSERT_TRUE(wlperf::DecodeBlock(bytes.data(), bytes.size(), &block, nullptr));
  EXPECT_FALSE(block.objects[0].values[0].has_value());
}

// Every truncation and every single corrupted length field must be refused or
// read within bounds (the sanitizers catch any stray read).
TEST(PerfBlockReader, SurvivesTruncationAndCorruption) {
  const std::vector<BYTE> bytes = wlperf::BuildBlock(SampleSpec());
  wlperf::DecodedBlock block;
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::string error;
    EXPECT_FALSE(wlperf::DecodeBlock(bytes.data(), size, &block, &error)) << size;
    EXPECT_FALSE(error.empty());
  }
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
    for (DWORD poison : {0u, 7u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      std::vector<BYTE> copy = bytes;
      std::memcpy(copy.data() + at, &poison, 4);
      wlperf::DecodeBlock(copy.data(), copy.size(), &block, nullptr);
    }
  }
}

TEST(PerfBlockBuilder, Utf8ConversionReplacesMalformedSequences) {
  EXPECT_EQ(wlperf::Utf8ToUtf16("C:"), u"C:");
  EXPECT_EQ(wlperf::Utf8ToUtf16("caf\xC3\xA9"), u"caf\u00E9");
  EXPECT_EQ(wlperf::Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(wlperf::Utf8ToUtf16("a\xC3"), u"a\uFFFD");                    // cut short
  EXPECT_EQ(wlperf::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(wlperf::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(wlperf::Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

}  // namespace
