#include "files/wildcard.h"

#include <gtest/gtest.h>

namespace {

TEST(Wildcard, ExtensionPatternDoesNotMatchLongerExtension) {
  EXPECT_TRUE(wl::MatchesWildcard("7.NT", "*.NT"));
  EXPECT_TRUE(wl::MatchesWildcard("12.nt", "*.NT"));
  EXPECT_FALSE(wl::MatchesWildcard("7.NT$", "*.NT"));
  EXPECT_FALSE(wl::MatchesWildcard("7.NTX", "*.NT"));
  EXPECT_FALSE(wl::MatchesWildcard("NT", "*.NT"));
  EXPECT_TRUE(wl::MatchesWildcard("a.b.NT", "*.NT"));
}

TEST(Wildcard, StarDotStarAlsoMatchesNamesWithoutDot) {
  EXPECT_TRUE(wl::MatchesWildcard("README", "*.*"));
  EXPECT_TRUE(wl::MatchesWildcard("a.b", "*.*"));
  EXPECT_TRUE(wl::MatchesWildcard("ab", "ab.*"));
  EXPECT_TRUE(wl::MatchesWildcard("ab.txt", "AB.*"));
  EXPECT_FALSE(wl::MatchesWildcard("abc", "ab.*"));
}

TEST(Wildcard, TrailingDotSelectsNamesWithoutExtension) {
  EXPECT_TRUE(wl::MatchesWildcard("README", "*."));
  EXPECT_FALSE(wl::MatchesWildcard("a.b", "*."));
}

TEST(Wildcard, QuestionMarkAndBacktracking) {
  EXPECT_TRUE(wl::MatchesWildcard("7.NT", "?.NT"));
  EXPECT_FALSE(wl::MatchesWildcard("17.NT", "?.NT"));
  EXPECT_TRUE(wl::MatchesWildcard("aXbXc", "a*b*c"));
  EXPECT_TRUE(wl::MatchesWildcard("abcbc", "*bc"));
  EXPECT_FALSE(wl::MatchesWildcard("abcbd", "*bc"));
  EXPECT_FALSE(wl::MatchesWildcard("anything", ""));
  EXPECT_TRUE(wl::HasWildcard("*.NT"));
  EXPECT_FALSE(wl::HasWildcard("7.NT"));
}

}  // namespace
