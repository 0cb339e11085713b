#include "unitsim/sim_options.h"

#include <gtest/gtest.h>

#include <functional>
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

TEST(SimOptionsTest, EachOptionSetsItsField) {
  const struct {
    std::vector<std::string> args;
    std::function<void(SimOptions&)> expect;
  } cases[] = {
      {{"-h", "-v", "--print-path-only", "--silent", "--noise-letters", "--refuse-commands", "--link", "/tmp/unit",
        "--tty", "/dev/serial-adapter", "--silent-object", "0x0C01", "--silent-object=3fFf", "--drop-first", "3",
        "--drop-rate", "0.25", "--bad-checksum", "1"},
       [](SimOptions& o) {
         o.help = o.verbose = o.printPathOnly = o.faults.silent = o.faults.noiseMayHoldTypeLetters = true;
         o.faults.refuseCommands = true;
         o.linkPath = "/tmp/unit";
         o.ttyDevice = "/dev/serial-adapter";
         o.faults.silentObjects = {0x0C01, 0x3FFF};
         o.faults.dropFirstRequests = 3;
         o.faults.dropRate = 0.25;
         o.faults.badChecksumRate = 1.0;
       }},
      {{"--link=/tmp/a=b", "--bad-parity=0.5", "--wrong-count", "0.75", "--cut-frames", "1e-1", "--noise", ".5",
        "--noise-length", "4096", "--latency", "60000", "--seed", "4294967295"},
       [](SimOptions& o) {
         o.linkPath = "/tmp/a=b";
         o.faults.badParityRate = 0.5;
         o.faults.wrongCountRate = 0.75;
         o.faults.cutFrameRate = 0.1;
         o.faults.noiseRate = 0.5;
         o.faults.noiseBurstLength = 4096;
         o.faults.latencyMs = 60000;
         o.seed = 4294967295U;
       }},
  };
  for (const auto& testCase : cases) {
    SimOptions parsed;
    SimOptions expected;
    testCase.expect(expected);
    std::string error;
    EXPECT_TRUE(ParseSimOptions(testCase.args, parsed, error)) << error;
    EXPECT_EQ(Fields(parsed), Fields(expected));
  }
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
