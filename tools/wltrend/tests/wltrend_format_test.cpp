// The pure parts of wltrend: decoding answers into control rows and samples,
// sample times, --since, and the listing, CSV and gnuplot texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trend_format.h"
#include "trend_model.h"

namespace wltrend {
namespace {

Binding integer(const Arcs& name, int64_t value) {
  Binding binding;
  binding.name = name;
  binding.kind = Binding::Kind::Integer;
  binding.integer = value;
  return binding;
}

Binding text(const Arcs& name, const std::string& bytes) {
  Binding binding;
  binding.name = name;
  binding.kind = Binding::Kind::OctetString;
  binding.bytes = bytes;
  return binding;
}

// Control 3 of class 16, "Network Interface eth0", 60-second interval.
ControlRow sampleRow() {
  ControlTable table;
  std::string error;
  const std::vector<Binding> bindings = {
      integer(controlCell(1, 16, 3), 16),   text(controlCell(3, 16, 3), "Network Interface eth0"),
      integer(controlCell(4, 16, 3), 5),    integer(controlCell(6, 16, 3), -1),
      integer(controlCell(7, 16, 3), 42),   integer(controlCell(8, 16, 3), 1767225600),
      integer(controlCell(9, 16, 3), 1),    integer(controlCell(10, 16, 3), 1),
      integer(controlCell(11, 16, 3), -6),  integer(controlCell(12, 16, 3), 20),
      integer(controlCell(14, 16, 3), 5),   integer(controlCell(15, 16, 3), 105),
      integer(controlCell(16, 16, 3), 100), integer(controlCell(17, 16, 3), 2)};
  for (const Binding& binding : bindings) {
    EXPECT_TRUE(storeControlBinding(binding, &table, &error)) << error;
  }
  EXPECT_EQ(table.size(), 1u);
  return table.begin()->second;
}

TEST(WltrendModel, DecodesControlRowsAndRejectsMisfits) {
  const ControlRow row = sampleRow();
  EXPECT_EQ(row.classId, 16u);
  EXPECT_EQ(row.control, 3u);
  EXPECT_EQ(row.instance, "Network Interface eth0");
  EXPECT_EQ(intervalSeconds(row.interval), 60u);
  EXPECT_EQ(row.rising, 4294967290u);  // unsigned field sent as INTEGER -6
  EXPECT_EQ(row.bucketsRequested, 105u);
  EXPECT_EQ(row.status, 2);

  ControlTable table;
  std::string error;
  EXPECT_FALSE(storeControlBinding(integer(controlCell(18, 1, 1), 1), &table, &error));
  EXPECT_FALSE(storeControlBinding(text(controlCell(4, 1, 1), "5"), &table, &error));
  EXPECT_FALSE(storeControlBinding(integer(controlCell(3, 1, 1), 5), &table, &error));
  EXPECT_FALSE(
      storeControlBinding(text(controlCell(3, 1, 1), std::string(1025, 'x')), &table, &error));
  EXPECT_FALSE(storeControlBinding(integer(controlColumn(4), 1), &table, &error));  // short name
  EXPECT_FALSE(storeControlBinding(integer(controlCell(4, 1, 1), 1LL << 40), &table, &error));
  Arcs longer = controlCell(4, 1, 1);
  longer.push_back(9);
  EXPECT_FALSE(storeControlBinding(integer(longer, 1), &table, &error));

  uint32_t number = 0;
  int32_t value = 0;
  Arcs name = historyValues(3);
  name.push_back(77);
  EXPECT_TRUE(decodeHistoryBinding(integer(name, -1), 3, &number, &value, &error));
  EXPECT_EQ(number, 77u);
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(decodeHistoryBinding(integer(name, 1), 4, &number, &value, &error));
  EXPECT_FALSE(decodeHistoryBinding(text(name, "1"), 3, &number, &value, &error));
  EXPECT_FALSE(decodeHistoryBinding(integer(historyValues(3), 1), 3, &number, &value, &error));
}

TEST(WltrendModel, SampleTimesFollowTheNewestSample) {
  ControlRow row = sampleRow();  // sample 1 due at 2026-01-01 00:00, every 60 s
  const std::vector<Sample> samples = buildSamples(row, {{3, 10}, {4, -1}, {5, 12}});
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].time, 1767225600 + 120);
  EXPECT_EQ(samples[2].time, 1767225600 + 240);
  EXPECT_TRUE(samples[0].valid);
  EXPECT_FALSE(samples[1].valid);
  // A sample read after the row (newer than its last sample) still fits, and
  // the 32-bit times wrap as the agent's do.
  EXPECT_EQ(sampleTime(1767225600, 60, 5, 6), 1767225600 + 300);
  EXPECT_EQ(sampleTime(4294967200u, 60, 3, 3), 24);  // 4294967320 mod 2^32
  EXPECT_EQ(intervalSeconds(0), 0u);
  EXPECT_EQ(intervalSeconds(13), 0u);
  EXPECT_EQ(intervalSeconds(12), 86400u);
  EXPECT_EQ(className(8), "pctMemoryAvailableKBytes");
  EXPECT_EQ(className(23), "");
}

TEST(WltrendFormat, TimesAndSince) {
  EXPECT_EQ(formatTime(1767225600), "2026-01-01 00:00:00");
  EXPECT_EQ(formatTime(1767225600 + 86399, 'T', true), "2026-01-01T23:59:59Z");
  EXPECT_EQ(parseSince("1767225600", 0), 1767225600);
  EXPECT_EQ(parseSince("@5", 0), 5);
  EXPECT_EQ(parseSince("2026-01-01", 0), 1767225600);
  EXPECT_EQ(parseSince("2026-01-01T01:02", 0), 1767225600 + 3720);
  EXPECT_EQ(parseSince("2026-01-01 01:02:03Z", 0), 1767225600 + 3723);
  EXPECT_EQ(parseSince("2024-02-29", 0), 1709164800);
  EXPECT_EQ(parseSince("-2h", 10000), 10000 - 7200);
  EXPECT_EQ(parseSince("-7d", 1767225600), 1767225600 - 7 * 86400);
  for (const char* bad : {"", "yesterday", "2026-13-01", "2025-02-29", "2026-01-01T25:00",
                          "2026-01-01T10", "2026-01-01T10:00:00:00", "-h", "-5w", "-99999999999d",
                          "99999999999999999999", "2026-1-01"}) {
    EXPECT_FALSE(parseSince(bad, 0)) << bad;
  }
}

TEST(WltrendFormat, ListingsMarkGapsAndCsvKeepsRawValues) {
  ControlRow row = sampleRow();
  row.instance += "\x01";
  ControlTable table{{{row.classId, row.control}, row}};
  const std::string list = formatControlList(table);
  EXPECT_NE(list.find("16 physIfInPackets"), std::string::npos) << list;
  EXPECT_NE(list.find("Network Interface eth0?"), std::string::npos) << list;  // no raw control
  EXPECT_NE(list.find("60 s"), std::string::npos) << list;
  EXPECT_NE(list.find("105/100"), std::string::npos) << list;
  EXPECT_NE(list.find("on, rising"), std::string::npos) << list;
  EXPECT_NE(list.find("deprecated"), std::string::npos) << list;

  const std::vector<Sample> samples = buildSamples(row, {{4, 10}, {5, -1}});
  const std::string listing = formatSamples(row, samples);
  EXPECT_NE(listing.find("2 samples, 1 gap\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("2026-01-01 00:03:00       4     10\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("2026-01-01 00:04:00       5    gap\n"), std::string::npos) << listing;
  EXPECT_EQ(formatCsv(samples),
            "time,value,valid\n2026-01-01T00:03:00Z,10,1\n2026-01-01T00:04:00Z,-1,0\n");
}

TEST(WltrendFormat, GnuplotScriptLeavesGapsOpen) {
  ControlRow row = sampleRow();
  const std::vector<Sample> samples = buildSamples(row, {{1, 5}, {2, 6}, {3, -1}, {4, -1}, {5, 7}});
  PlotTarget svg{PlotTarget::Kind::Svg, "/tmp/it's.svg", 80, 25};
  std::string error;
  const std::string script = gnuplotScript(row, samples, svg, &error);
  EXPECT_NE(script.find("set output '/tmp/it''s.svg'\n"), std::string::npos) << script;
  const size_t begin = script.find("$samples << EOD\n");
  const size_t end = script.find("EOD\n", begin + 16);
  ASSERT_NE(begin, std::string::npos);
  // Two runs of valid samples with one empty line between them.
  EXPECT_EQ(script.substr(begin + 16, end - begin - 16),
            "1767225600 5\n1767225660 6\n\n1767225840 7\n");
  EXPECT_NE(script.find("4294967290 with lines"), std::string::npos);
  EXPECT_NE(script.find("20 with lines"), std::string::npos);

  PlotTarget terminal;
  EXPECT_NE(gnuplotScript(row, samples, terminal, &error).find("set terminal dumb"),
            std::string::npos);
  svg.file = "a\nset output '/etc/x'";
  EXPECT_EQ(gnuplotScript(row, samples, svg, &error), "");
  EXPECT_EQ(gnuplotScript(row, {}, terminal, &error), "");
  EXPECT_NE(error.find("no samples"), std::string::npos);
}

}  // namespace
}  // namespace wltrend
