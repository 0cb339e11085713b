// Reads a variable log file back into a trend: this program's files and the Windows program's alike
// (two header lines per logging run, records with decimal commas, several runs in one file).
#pragma once

#include <string>
#include <string_view>

#include "core/trend/trend_data.h"

namespace gelvar {

struct LogReadResult {
  bool ok = true;
  int line = 0;         // the line that could not be read (1 is the first)
  std::string message;  // what was wrong, naming the line
  int runs = 0;
  int records = 0;
};

// Temperatures end up in the unit of the file's last run. On failure data holds what was read before
// the line named.
LogReadResult ReadLog(std::string_view text, TrendData& data);
LogReadResult ReadLogFile(const std::string& path, TrendData& data);

}  // namespace gelvar
