#include "unitsim/sim_options.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

#include "core/common/c_number.h"

namespace gelvar::unitsim {

namespace {

constexpr std::uint32_t kHighestObjectId = 0x3FFF;  // 14 bits in the ID word
constexpr int kLongestLatencyMs = 60'000;
constexpr int kLongestNoiseBurst = 4096;

// The whole of text as a number of type T (an integer in the given base), or false.
template <typename T>
bool WholeNumber(std::string_view text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  std::from_chars_result result{};
  if constexpr (std::is_floating_point_v<T>) {
    result = DoubleFromChars(text.data(), end, value);
  } else {
    result = std::from_chars(text.data(), end, value, base);
  }
  return !text.empty() && result.ec == std::errc{} && result.ptr == end;
}

bool Rate(std::string_view text, double& rate) {
  double value = 0.0;
  if (!WholeNumber(text, value) || !std::isfinite(value) || value < 0.0 || value > 1.0) return false;
  rate = value;
  return true;
}

bool Count(std::string_view text, int& count, int highest) {
  int value = 0;
  if (!WholeNumber(text, value) || value < 0 || value > highest) return false;
  count = value;
  return true;
}

bool ObjectId(std::string_view text, std::uint32_t& objectId) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  std::uint32_t value = 0;
  if (!WholeNumber(text, value, 16) || value > kHighestObjectId) return false;
  objectId = value;
  return true;
}

bool Path(std::string_view text, std::string& path) {
  if (text.empty()) return false;
  path = text;
  return true;
}

// An option and what it does with its value (flags get an empty one and cannot fail).
struct KnownOption {
  const char* name;
  const char* shortName;     // or nullptr
  const char* valueMeaning;  // nullptr for a flag
  bool (*apply)(std::string_view value, SimOptions& options);
};

const KnownOption kOptions[] = {
    {"--help", "-h", nullptr, [](std::string_view, SimOptions& o) { return o.help = true; }},
    {"--verbose", "-v", nullptr, [](std::string_view, SimOptions& o) { return o.verbose = true; }},
    {"--print-path-only", nullptr, nullptr, [](std::string_view, SimOptions& o) { return o.printPathOnly = true; }},
    {"--link", nullptr, "a path", [](std::string_view v, SimOptions& o) { return Path(v, o.linkPath); }},
    {"--tty", nullptr, "a device path", [](std::string_view v, SimOptions& o) { return Path(v, o.ttyDevice); }},
    {"--silent", nullptr, nullptr, [](std::string_view, SimOptions& o) { return o.faults.silent = true; }},
    {"--silent-object", nullptr, "an object ID in hex from 0 to 0x3FFF",
     [](std::string_view v, SimOptions& o) {
       std::uint32_t objectId = 0;
       if (!ObjectId(v, objectId)) return false;
       o.faults.silentObjects.insert(objectId);
       return true;
     }},
    {"--drop-first", nullptr, "a count from 0",
     [](std::string_view v, SimOptions& o) {
       return Count(v, o.faults.dropFirstRequests, std::numeric_limits<int>::max());
     }},
    {"--drop-rate", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.dropRate); }},
    {"--bad-checksum", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.badChecksumRate); }},
    {"--bad-parity", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.badParityRate); }},
    {"--wrong-count", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.wrongCountRate); }},
    {"--cut-frames", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.cutFrameRate); }},
    {"--noise", nullptr, "a share from 0 to 1",
     [](std::string_view v, SimOptions& o) { return Rate(v, o.faults.noiseRate); }},
    {"--noise-length", nullptr, "a count from 1 to 4096",
     [](std::string_view v, SimOptions& o) {
       return Count(v, o.faults.noiseBurstLength, kLongestNoiseBurst) && o.faults.noiseBurstLength > 0;
     }},
    {"--noise-letters", nullptr, nullptr,
     [](std::string_view, SimOptions& o) { return o.faults.noiseMayHoldTypeLetters = true; }},
    {"--refuse-commands", nullptr, nullptr,
     [](std::string_view, SimOptions& o) { return o.faults.refuseCommands = true; }},
    {"--latency", nullptr, "milliseconds from 0 to 60000",
     [](std::string_view v, SimOptions& o) { return Count(v, o.faults.latencyMs, kLongestLatencyMs); }},
    {"--seed", nullptr, "a number from 0 to 4294967295",
     [](std::string_view v, SimOptions& o) { return WholeNumber(v, o.seed); }},
};

const KnownOption* FindOption(std::string_view name) {
  for (const KnownOption& known : kOptions) {
    if (name == known.name || (known.shortName != nullptr && name == known.shortName)) return &known;
  }
  return nullptr;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::string_view value;
    const bool inlineValue = name.starts_with("--") && name.find('=') != std::string_view::npos;
    if (inlineValue) {
      value = name.substr(name.find('=') + 1);
      name = name.substr(0, name.find('='));
    }
    const KnownOption* known = FindOption(name);
    if (known == nullptr) {
      error = name.starts_with("-") ? "unknown option '" + std::string(name) + "'"
                                    : "unexpected argument '" + std::string(name) + "'";
      return false;
    }
    if (known->valueMeaning == nullptr && inlineValue) {
      error = std::string(known->name) + " takes no value";
      return false;
    }
    if (known->valueMeaning != nullptr && !inlineValue) {
      if (i + 1 == args.size()) {
        error = std::string(known->name) + " needs " + known->valueMeaning;
        return false;
      }
      value = args[++i];
    }
    if (!known->apply(value, options)) {
      error = std::string(known->name) + ": '" + std::string(value) + "' is not " + known->valueMeaning;
      return false;
    }
  }
  return true;
}

const char* SimUsage() {
  return "Usage: gelvar-unit-sim [OPTION]...\n"
         "Simulated detector unit for Gelvar Monitor. It opens a new pseudo-terminal (or, with\n"
         "--tty, a real serial device at 19200 baud 8N1) and answers the monitor's requests on it\n"
         "with slowly changing values until Ctrl-C or SIGTERM.\n"
         "\n"
         "The first line on standard output names the device to give the monitor:\n"
         "  gelvar-unit-sim: serving DEVICE\n"
         "or, with --print-path-only, DEVICE alone. With --link a second line follows:\n"
         "  gelvar-unit-sim: link PATH -> DEVICE\n"
         "\n"
         "Line:\n"
         "  --link PATH          make PATH a symlink to the device while serving; an existing\n"
         "                       symlink there is replaced, any other file is left alone\n"
         "  --tty DEVICE         serve DEVICE (e.g. /dev/ttyUSB0 on a null-modem cable)\n"
         "  --print-path-only    print only the device path on standard output\n"
         "  -v, --verbose        log every request and every reply on standard error\n"
         "  -h, --help           show this text and exit\n"
         "\n"
         "Faults (R is a share from 0 to 1, e.g. 0.05):\n"
         "  --silent             answer nothing\n"
         "  --silent-object ID   never answer object ID (hex, e.g. 0x0C01); may be repeated\n"
         "  --drop-first N       ignore the first N requests\n"
         "  --drop-rate R        ignore a share R of the requests\n"
         "  --bad-checksum R     send a share R of the replies with a wrong checksum\n"
         "  --bad-parity R       send a share R of the replies with a wrong ID word parity\n"
         "  --wrong-count R      send a share R of the replies with another data count\n"
         "  --cut-frames R       stop a share R of the replies half-way\n"
         "  --noise R            put a burst of noise bytes before a share R of the replies\n"
         "  --noise-length N     noise bytes in a burst, 1 to 4096 (default 8)\n"
         "  --noise-letters      let the noise hold the type letters T, U and V as well\n"
         "  --refuse-commands    answer every command as refused (byte 0 not 2)\n"
         "  --latency MS         answer MS milliseconds after a request, 0 to 60000 (default 0)\n"
         "  --seed N             start of the fault and value sequences (default 1)\n"
         "\n"
         "Options with a value also take the form --option=VALUE.\n"
         "Exit status: 0 after Ctrl-C or SIGTERM, 1 when the device cannot be served,\n"
         "2 for a bad argument.\n";
}

}  // namespace gelvar::unitsim
