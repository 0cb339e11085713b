#include "unitsim/sim_options.h"

#include <gtest/gtest.h>

#include <tuple>

namespace gelvar::unitsim {
namespace {

// Every field, so that an option landing in the wrong one shows.
auto Fields(const SimOptions& o) {
  const UnitFaults& f = o.faults;
  return std::tie(f.silent, f.silentObjects, f.dropFirstRequests, f.dropRate, f.badChecksumRate, f.badParityRate,
                  f.wrongCountRate, f.cutFrameRate, f.latencyMs, f.noiseRate, f.noiseBurstLength,
                  f.noiseMayHoldTypeLetters, f.refuseCommands, o.seed, o.linkPath, o.ttyDevice, o.verbose,
                  o.printPathOnly, o.help);
}

// Both spellings of a value, "--name value" and "--name=value", each field once.
TEST(SimOptionsTest, EachOptionSetsItsField) {
  SimOptions expected;
  expected.help = expected.verbose = expected.printPathOnly = true;
  UnitFaults& f = expected.faults;
  f.silent = f.noiseMayHoldTypeLetters = f.refuseCommands = true;
  expected.linkPath = "/tmp/a=b";
  expected.ttyDevice = "/dev/serial-adapter";
  f.silentObjects = {0x0C01, 0x3FFF};
  f.dropFirstRequests = 3;
  f.dropRate = 0.25;
  f.badChecksumRate = 1.0;
  f.badParityRate = 0.5;
  f.wrongCountRate = 0.75;
  f.cutFrameRate = 0.1;
  f.noiseRate = 0.5;
  f.noiseBurstLength = 4096;
  f.latencyMs = 60000;
  expected.seed = 4294967295U;
  SimOptions parsed;
  std::string error;
  // clang-format off
  const std::vector<std::string> args{
      "-h", "-v", "--print-path-only", "--silent", "--noise-letters", "--refuse-commands", "--link=/tmp/a=b", "--tty",
      "/dev/serial-adapter", "--silent-object", "0x0C01", "--silent-object=3fFf", "--drop-first", "3", "--drop-rate",
      "0.25", "--bad-checksum", "1", "--bad-parity=0.5", "--wrong-count", "0.75", "--cut-frames", "1e-1", "--noise",
      ".5", "--noise-length", "4096", "--latency", "60000", "--seed", "4294967295"};
  // clang-format on
  EXPECT_TRUE(ParseSimOptions(args, parsed, error)) << error;
  EXPECT_EQ(Fields(parsed), Fields(expected));
}

TEST(SimOptionsTest, BadArgumentsAreNamed) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"pty"}, "unexpected argument 'pty'"},
      {{"--silent=yes"}, "--silent takes no value"},
      {{"--latency", "60001"}, "--latency: '60001' is not milliseconds"},
      {{"--latency"}, "--latency needs milliseconds"},
      {{"--drop-rate", "1.5"}, "--drop-rate: '1.5' is not a share from 0 to 1"},
      {{"--bad-checksum", "0,5"}, "--bad-checksum: '0,5' is not"},
      {{"--drop-first", "2147483648"}, "--drop-first: '2147483648' is not a count"},
      {{"--silent-object", "0x4000"}, "--silent-object: '0x4000' is not an object ID"},
  };
  for (const auto& [args, message] : cases) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(args, options, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace gelvar::unitsim
