// Command line of gelvar-unit-sim: where to serve the simulated unit and how it should misbehave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unitsim/unit_model.h"

namespace gelvar::unitsim {

struct SimOptions {
  UnitFaults faults;
  std::uint32_t seed = 1;
  std::string linkPath;   // stable symlink to the served device; empty: none
  std::string ttyDevice;  // a real serial device to serve; empty: a new pseudo-terminal
  bool verbose = false;
  bool printPathOnly = false;
  bool help = false;
};

// Fills options from the arguments after the program name. On a bad argument, returns false with
// a one-line message in error; options may then be partly filled.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

// The --help text.
const char* SimUsage();

}  // namespace gelvar::unitsim
