// The fuzz corpus replayed: the seeds and every input that once found a fault, in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/harnesses.h"

namespace gelvar::testing {
namespace {

TEST(FuzzCorpus, EveryInputReplaysCleanly) {
  const auto folder = std::filesystem::path(GELVAR_FUZZ_CORPUS_DIR) / "link_receive";
  EXPECT_GE(std::distance(std::filesystem::directory_iterator(folder), {}), 3);
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(fuzz::RunLinkReceiveScript(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), "")
        << file.path();
  }
}

}  // namespace
}  // namespace gelvar::testing
