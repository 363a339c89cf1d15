#include "core/LogLine.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(LogLine, EveryLineStartsWithItsTimeAndEndsOnce) {
  EXPECT_EQ(LogLine({2026, 1, 9, 7, 5, 3, 42}, "Wrote C:\\a.txt"),
            "2026-01-09 07:05:03.042 Wrote C:\\a.txt\r\n");
  EXPECT_EQ(LogLine({2026, 12, 31, 23, 59, 59, 999}, "Access is denied.\r\nTry again"),
            "2026-12-31 23:59:59.999 Access is denied.  Try again\r\n");
}

}  // namespace
}  // namespace qv
