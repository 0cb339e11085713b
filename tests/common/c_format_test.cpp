// printf's own formatting for every length modifier and for results longer than the first buffer.
#include "common/c_format.h"

#include <gtest/gtest.h>

namespace gelvar {
namespace {

TEST(CFormat, FormatsAsPrintfDoesWhateverTheLengthOrSize) {
  const std::string longText(600, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {CFormat("%ld %lld %hd %c", 1L << 40, 1LL << 40, 70000, 'c'), "1099511627776 1099511627776 4464 c"},
      {CFormat("%s.", longText.c_str()), longText + "."},
      {CFormat("%04d%%%-3s|%.2f", 7, "ab", 2.5), "0007%ab |2.50"},
  };
  for (const auto& [formatted, expected] : cases) EXPECT_EQ(formatted, expected);
}

}  // namespace
}  // namespace gelvar
