#include "unitsim/sim_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace gelvar::unitsim {
namespace {

// Every field, so that an option landing in the wrong one shows.
std::string Describe(const SimOptions& o) {
  std::ostringstream text;
  const UnitFaults& f = o.faults;
  text << "silent=" << f.silent << " objects=";
  for (const std::uint32_t id : f.silentObjects) text << id << ',';
  text << " dropFirst=" << f.dropFirstRequests << " drop=" << f.dropRate << " checksum=" << f.badChecksumRate
       << " parity=" << f.badParityRate << " count=" << f.wrongCountRate << " cut=" << f.cutFrameRate
       << " latency=" << f.latencyMs << " noise=" << f.noiseRate << " burst=" << f.noiseBurstLength
       << " letters=" << f.noiseMayHoldTypeLetters << " seed=" << o.seed << " link=" << o.linkPath
       << " tty=" << o.ttyDevice << " verbose=" << o.verbose << " pathOnly=" << o.printPathOnly
       << " help=" << o.help;
  return text.str();
}

TEST(SimOptionsTest, EachOptionSetsItsField) {
  const struct {
    std::vector<std::string> args;
    std::function<void(SimOptions&)> expect;
  } cases[] = {
      {{}, [](SimOptions&) {}},
      {{"-h", "-v", "--print-path-only", "--silent", "--noise-letters"},
       [](SimOptions& o) {
         o.help = o.verbose = o.printPathOnly = o.faults.silent = o.faults.noiseMayHoldTypeLetters = true;
       }},
      {{"--link", "/tmp/unit", "--tty", "/dev/ttyUSB0"},
       [](SimOptions& o) { o.linkPath = "/tmp/unit"; o.ttyDevice = "/dev/ttyUSB0"; }},
      {{"--link=/tmp/a=b"}, [](SimOptions& o) { o.linkPath = "/tmp/a=b"; }},
      {{"--silent-object", "0x0C01", "--silent-object=3fFf"},
       [](SimOptions& o) { o.faults.silentObjects = {0x0C01, 0x3FFF}; }},
      {{"--drop-first", "3"}, [](SimOptions& o) { o.faults.dropFirstRequests = 3; }},
      {{"--drop-rate", "0.25"}, [](SimOptions& o) { o.faults.dropRate = 0.25; }},
      {{"--bad-checksum", "1"}, [](SimOptions& o) { o.faults.badChecksumRate = 1.0; }},
      {{"--bad-parity=0.5"}, [](SimOptions& o) { o.faults.badParityRate = 0.5; }},
      {{"--wrong-count", "0.75"}, [](SimOptions& o) { o.faults.wrongCountRate = 0.75; }},
      {{"--cut-frames", "1e-1"}, [](SimOptions& o) { o.faults.cutFrameRate = 0.1; }},
      {{"--noise", ".5"}, [](SimOptions& o) { o.faults.noiseRate = 0.5; }},
      {{"--noise-length", "4096"}, [](SimOptions& o) { o.faults.noiseBurstLength = 4096; }},
      {{"--latency", "60000"}, [](SimOptions& o) { o.faults.latencyMs = 60000; }},
      {{"--seed", "4294967295"}, [](SimOptions& o) { o.seed = 4294967295U; }},
  };
  for (const auto& testCase : cases) {
    SimOptions parsed;
    SimOptions expected;
    testCase.expect(expected);
    std::string error;
    EXPECT_TRUE(ParseSimOptions(testCase.args, parsed, error)) << error;
    EXPECT_EQ(Describe(parsed), Describe(expected)) << testCase.args.front();
  }
}

TEST(SimOptionsTest, BadArgumentsAreNamed) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"pty"}, "unexpected argument 'pty'"},
      {{"--silent=yes"}, "--silent takes no value"},
      {{"--latency"}, "--latency needs milliseconds from 0 to 60000"},
      {{"--latency", "60001"}, "--latency: '60001' is not milliseconds"},
      {{"--drop-rate", "1.5"}, "--drop-rate: '1.5' is not a share from 0 to 1"},
      {{"--noise", "nan"}, "--noise: 'nan' is not"},
      {{"--bad-checksum", "0,5"}, "--bad-checksum: '0,5' is not"},
      {{"--drop-first", "2147483648"}, "--drop-first: '2147483648' is not a count"},
      {{"--noise-length", "0"}, "--noise-length: '0' is not a count from 1 to 4096"},
      {{"--silent-object", "0x4000"}, "--silent-object: '0x4000' is not an object ID"},
      {{"--seed", "-1"}, "--seed: '-1' is not"},
  };
  for (const auto& testCase : cases) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(testCase.args, options, error)) << testCase.message;
    EXPECT_NE(error.find(testCase.message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace gelvar::unitsim
