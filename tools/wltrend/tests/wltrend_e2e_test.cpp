#include <gtest/gtest.h>
TEST(WltrendEndToEnd, Placeholder) {}
