// The start-up rules that need no loaded library: the order and early stop of
// the version check, and the monitor interval rule.
#include <gtest/gtest.h>

#include <string>

#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/ridovo_config.h"

namespace {

std::string g_s_asked;
int g_i_failAt = -1;  // which query answers 2

int Answer(int index) {
  g_s_asked += static_cast<char>('0' + index);
  return index == g_i_failAt ? 2 : 1;
}

TEST(CheckProviderVersions, AsksInOrderAndStopsAtTheFirstMismatch) {
  const VERSIONQUERY queries[] = {
      [](int32_t*) { return Answer(0); },
      [](int32_t*) { return Answer(1); },
      [](int32_t*) { return Answer(2); },
      [](int32_t*) { return Answer(3); },
  };
  g_i_failAt = -1;
  g_s_asked.clear();
  EXPECT_EQ(CheckProviderVersions(queries, 4), 0u);
  EXPECT_EQ(g_s_asked, "0123");
  for (int failing = 0; failing < 4; ++failing) {
    g_i_failAt = failing;
    g_s_asked.clear();
    EXPECT_EQ(CheckProviderVersions(queries, 4), 1234u);
    EXPECT_EQ(g_s_asked, std::string("0123").substr(0, failing + 1)) << "later ones not asked";
  }
}

TEST(CheckProviderVersions, TheLinkedLibrariesAllReportOne) {
  EXPECT_EQ(CheckProviderVersions(), 0u);
}

TEST(MonitorInterval, BelowFifteenSecondsGivesSixty) {
  EXPECT_EQ(CRIDOVOCONFIG::IntervalMilliseconds(14), 60000u);
  EXPECT_EQ(CRIDOVOCONFIG::IntervalMilliseconds(15), 15000u);
  EXPECT_EQ(CRIDOVOCONFIG::IntervalMilliseconds(-3), 60000u);
  EXPECT_EQ(CRIDOVOCONFIG::IntervalMilliseconds(30), 30000u);
  EXPECT_EQ(CRIDOVOCONFIG::IntervalMilliseconds(0x7FFFFFFF), 4294967000u) << "no wrap";
}

}  // namespace
