// printf's own formatting.
#include <gtest/gtest.h>

#include <string>

#include "core/common/c_format.h"

namespace gelvar::testing {
namespace {

// Every length modifier, and a result longer than the first buffer.
TEST(CFormat, FormatsAsPrintfDoesWhateverTheLengthOrSize) {
  const std::string longText(600, 'x');
  EXPECT_EQ(CFormat("%ld %lld %hd %c", 1L << 30, 1LL << 40, 70000, 'c'), "1073741824 1099511627776 4464 c");
  EXPECT_EQ(CFormat("%s.", longText.c_str()), longText + ".");
  EXPECT_EQ(CFormat("%04d%%%-3s|%.2f", 7, "ab", 2.5), "0007%ab |2.50");
}

}  // namespace
}  // namespace gelvar::testing
