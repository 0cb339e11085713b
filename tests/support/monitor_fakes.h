// The monitor's line on a virtual link, and an in-memory file system.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/common/file_appender.h"
#include "core/line/byte_pump.h"
#include "core/monitor/monitor.h"

namespace gelvar::testing {

// The unit's line through the byte pump, noting each call ("open", "close") and the ports asked for.
class RecordingLine : public UnitLine {
 public:
  RecordingLine(BytePump& pump, std::string& calls) : line_(pump), calls_(calls) {}
  bool Open(int comPort) override {
    Note(calls_, "open");
    openedPorts.push_back(comPort);
    return line_.Open(comPort);
  }
  void Close() override {
    Note(calls_, "close");
    line_.Close();
  }
  static void Note(std::string& calls, const std::string& call) { calls += (calls.empty() ? "" : " ") + call; }

  std::vector<int> openedPorts;

 private:
  PumpUnitLine line_;
  std::string& calls_;
};

// Files as strings; paths in `unwritable` cannot be opened.
class MemoryFiles : public FileAppender {
 public:
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override {
    if (unwritable.count(path) != 0) return {AppendStatus::kFailed, "Read-only file system"};
    if (ifMissing == IfMissing::kReport && files.count(path) == 0) return {AppendStatus::kMissing, {}};
    files[path] += bytes;
    return {};
  }
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;
};

}  // namespace gelvar::testing
