// The fuzz corpora replayed: the seeds and every input that once found a fault, in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/harnesses.h"

namespace gelvar::testing {
namespace {

TEST(FuzzCorpus, EveryInputReplaysCleanly) {
  const std::pair<const char*, std::string (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"link_receive", fuzz::RunLinkReceiveScript}, {"unit_request", fuzz::RunUnitRequestScript}};
  for (const auto& [name, run] : targets) {
    const auto folder = std::filesystem::path(GELVAR_FUZZ_CORPUS_DIR) / name;
    EXPECT_GE(std::distance(std::filesystem::directory_iterator(folder), {}), 3) << name;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      std::ifstream in(file.path(), std::ios::binary);
      const std::string input{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), "") << file.path();
    }
  }
}

}  // namespace
}  // namespace gelvar::testing
