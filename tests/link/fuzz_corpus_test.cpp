// Every input kept in the fuzz corpora replays cleanly through the fuzz harnesses, so the inputs that
// once found a fault, and the seeds, run in every build, with or without clang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/harnesses.h"
#include "link/test_support.h"

namespace gelvar::testing {
namespace {

TEST(FuzzCorpus, EveryInputReplaysCleanly) {
  const std::pair<const char*, std::string (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"link_receive", fuzz::RunLinkReceiveScript}, {"unit_request", fuzz::RunUnitRequestScript}};
  for (const auto& [name, run] : targets) {
    int inputs = 0;
    for (const auto& file : std::filesystem::directory_iterator(std::filesystem::path(GELVAR_FUZZ_CORPUS_DIR) / name)) {
      std::ifstream in(file.path(), std::ios::binary);
      const std::string input{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), "") << file.path();
      ++inputs;
    }
    EXPECT_GE(inputs, 3) << name;
  }
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
