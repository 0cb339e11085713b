// Every input kept in the fuzz corpora replays cleanly through the fuzz harnesses, so the inputs that
// once found a fault, and the seeds, run in every build, with or without clang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/link_receive_harness.h"
#include "fuzz/unit_request_harness.h"
#include "link/test_support.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> CorpusFiles(const std::string& target) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(GELVAR_FUZZ_CORPUS_DIR) / target)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, EveryInputReplaysCleanly) {
  const struct {
    const char* target;
    std::string (*run)(const std::uint8_t*, std::size_t);
  } targets[] = {{"link_receive", fuzz::RunLinkReceiveScript}, {"unit_request", fuzz::RunUnitRequestScript}};
  for (const auto& t : targets) {
    const std::vector<fs::path> files = CorpusFiles(t.target);
    EXPECT_GE(files.size(), 3u) << t.target;
    for (const auto& file : files) {
      const std::vector<std::uint8_t> input = ReadFile(file);
      EXPECT_EQ(t.run(input.data(), input.size()), "") << file.filename();
    }
  }
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
