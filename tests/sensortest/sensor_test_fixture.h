// The sensor test with its dialog open on a view that records its boxes, on the whole link path to
// a simulated unit in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sensortest/sensor_test.h"
#include "support/monitor_rig.h"
#include "support/virtual_link.h"

namespace gelvar::testing {

using Bytes = std::vector<std::uint8_t>;
using Ids = std::vector<std::uint32_t>;
using Strings = std::vector<std::string>;

class FakeSensorTestView : public SensorTestView {
 public:
  void Refresh() override { ++refreshes; }
  void Alert(const std::string& text, AlertIcon icon) override {
    alerts.push_back(icon == AlertIcon::kQuestion ? "(?) " + text : text);
    if (whileAlertShown) whileAlertShown();
  }
  bool ChooseSaveFile(const std::string& defaultName, const std::string& extension,
                      std::string& path) override {
    asked = defaultName + " " + extension;
    path = chosenPath;
    return !chosenPath.empty();
  }

  int refreshes = 0;
  Strings alerts;  // question-mark boxes start with "(?) "
  std::function<void()> whileAlertShown;  // the message box's own event loop
  std::string chosenPath;                 // empty: the user cancels
  std::string asked;
};

inline Bytes Words(int word0, int word2) {
  return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8),
          static_cast<std::uint8_t>(word2), static_cast<std::uint8_t>(word2 >> 8)};
}
inline Bytes Word(int word0) { return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8)}; }

// The log pane's lines from top (newest) to bottom.
inline Strings LogLines(const std::string& logText) { return FileLines(logText); }

class SensorTestOnUnit : public ::testing::Test {
 protected:
  void SetUp() override { test.Open(view); }

  bool RunToIdle(std::int64_t limitMs = 60000) {
    return link.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }
  Ids RequestedIds() {
    Ids ids;
    for (const auto& request : link.Unit().Requests()) ids.push_back(request.objectId);
    return ids;
  }
  // A Type II recording: Ti 19 s and Tm 10 s give N = 2; both data sets are there.
  void LoadRecording() {
    for (const auto& [id, data] : std::map<std::uint32_t, Bytes>{{0x0D00, Words(1234, 6250)},
                                                                 {0x0D01, Word(1200)},
                                                                 {0x0D05, {19, 0, 10, 0}},
                                                                 {0x0D04, Words(1234, 567)},
                                                                 {0x0D07, Word(250)},
                                                                 {0x0D06, Word(1)},
                                                                 {0x0D08, Word(47)}}) {
      link.Unit().SetObject(id, data);
    }
    link.Unit().SetRecordedSets({Words(1000, 800), Words(900, 0)}, {Word(6100), Word(5900)});
  }

  VirtualLink link;
  FakeSensorTestView view;
  PosixFileAppender files;
  SensorTest test{link.Scheduler(), files};
};

}  // namespace gelvar::testing
