// The serial adapter pulled out and plugged in again under a running monitor, in virtual time: the
// loss is shown once, the mode stays, reading and the log go on by themselves once the device is back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

bool Once(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos && text.find(part) == text.rfind(part);
}

TEST(LostDevice, LoggingGoesOnThroughTheLossAndResumesWhenTheDeviceIsBack) {
  MonitorRig rig;
  rig.PinTemperatures();
  ASSERT_TRUE(rig.StartLogging());
  rig.link.RunFor(90'000);

  // Every status the user saw, and every mode, message by message.
  std::vector<std::string> statuses = {rig.controller.ComStatusText()};
  bool modeKept = true;
  const auto watch = [&] {
    if (statuses.back() != rig.controller.ComStatusText()) statuses.push_back(rig.controller.ComStatusText());
    modeKept &= rig.controller.Mode() == kLoggingVariables;
    return false;
  };
  const auto recordsBefore = static_cast<std::size_t>(rig.log.Count('L'));
  const std::size_t paneBefore = rig.view.paneLines.size();
  rig.link.Line().Unplug();
  rig.link.RunUntil(watch, 100);
  // Told in both panes of the protocol window, once (the panes keep only their latest text).
  for (const std::string& pane : {rig.link.Pump().Tx().Text(), rig.link.Pump().Rx().Text()}) {
    EXPECT_TRUE(Once(pane, "\r\n*** COM1 lost")) << pane;
  }
  rig.link.RunUntil(watch, 4 * 60'000);
  const std::size_t recordsDuringLoss = static_cast<std::size_t>(rig.log.Count('L')) - recordsBefore;
  ASSERT_GT(rig.view.paneLines.size(), paneBefore);
  for (std::size_t i = paneBefore; i < rig.view.paneLines.size(); ++i) {
    EXPECT_TRUE(rig.view.paneLines[i].starts_with("E> No reply at ID: ")) << rig.view.paneLines[i];
  }
  const std::int64_t pluggedMs = rig.link.Scheduler().NowMs();
  rig.link.Line().PlugIn();
  rig.link.RunUntil([&] { return watch() || rig.controller.ComStatusText() == "COM Port Open"; }, 2'000);
  EXPECT_LE(rig.link.Scheduler().NowMs() - pluggedMs, kReopenIntervalMs + 10) << "found at the next try";
  EXPECT_TRUE(Once(rig.link.Pump().Tx().Text(), "\r\n*** COM1 reopened"));
  rig.link.RunUntil(watch, 3 * 60'000);

  EXPECT_EQ(statuses, (std::vector<std::string>{"COM Port Open", "COM Port Lost", "COM Port Open"}));
  EXPECT_TRUE(modeKept);

  // The log: no gap in the set numbers; the records of the loss hold unread values, and those
  // from two passes after the device came back hold every value again.
  const std::vector<std::string> records = RecordLines(rig.memoryFiles.files[rig.view.logPath]);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(rig.log.Count('L')));
  ASSERT_GE(recordsDuringLoss, 2u);
  for (std::size_t k = 0; k < records.size(); ++k) {
    EXPECT_EQ(RecordSetNumber(records[k]), static_cast<int>(k) + 1);
    EXPECT_TRUE(IsWellFormedRecord(records[k])) << records[k];
    const bool duringLoss = k >= recordsBefore && k < recordsBefore + recordsDuringLoss;
    if (duringLoss || k >= recordsBefore + recordsDuringLoss + 2) {
      EXPECT_EQ(HoldsUnreadValues(records[k]), duringLoss) << records[k];
    }
  }
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
}

}  // namespace
}  // namespace gelvar::testing
