// The serial adapter pulled out and plugged in again under a running monitor, in virtual time: the
// loss is shown once, the mode stays, reading and the log go on by themselves once the device is
// back, and the user can close and reopen the port by hand while it is gone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_records.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// Passes the pump's news on to the controller and counts it.
class CountingObserver : public LineObserver {
 public:
  explicit CountingObserver(LineObserver& next) : next_(next) {}
  void LineLost(int portNumber) override {
    ++lost;
    next_.LineLost(portNumber);
  }
  void LineBack(int portNumber) override {
    ++back;
    next_.LineBack(portNumber);
  }
  int lost = 0;
  int back = 0;

 private:
  LineObserver& next_;
};

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(LostDevice, LoggingGoesOnThroughTheLossAndResumesWhenTheDeviceIsBack) {
  MonitorRig rig;
  rig.PinTemperatures();
  CountingObserver observer(rig.controller);
  rig.link.Pump().SetLineObserver(&observer);
  rig.controller.Command(kCmdStartReadingVariables);
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  rig.LogEveryMinute();
  rig.link.RunFor(90'000);

  // Every status the user saw, and every mode, message by message.
  std::vector<std::string> statuses = {rig.controller.ComStatusText()};
  bool modeKept = true;
  const auto watch = [&] {
    if (statuses.back() != rig.controller.ComStatusText()) statuses.push_back(rig.controller.ComStatusText());
    modeKept &= rig.controller.Mode() == kLoggingVariables;
    return false;
  };
  const std::size_t recordsBefore = static_cast<std::size_t>(rig.log.Count('L'));
  const std::size_t paneBefore = rig.view.paneLines.size();
  rig.link.Line().Unplug();
  rig.link.RunUntil(watch, 100);
  EXPECT_EQ(Count(rig.link.Pump().TxText(), "\r\n*** COM1 lost"), 1);
  EXPECT_EQ(Count(rig.link.Pump().RxText(), "\r\n*** COM1 lost"), 1);
  rig.link.RunUntil(watch, 4 * 60'000);
  const std::size_t recordsDuringLoss = static_cast<std::size_t>(rig.log.Count('L')) - recordsBefore;
  const std::vector<std::string> lossLines(rig.view.paneLines.begin() + static_cast<std::ptrdiff_t>(paneBefore),
                                           rig.view.paneLines.end());
  const std::int64_t pluggedMs = rig.link.Scheduler().NowMs();
  rig.link.Line().PlugIn();
  rig.link.RunUntil([&] { return watch() || rig.controller.ComStatusText() == "COM Port Open"; }, 2'000);
  const std::int64_t backMs = rig.link.Scheduler().NowMs() - pluggedMs;
  EXPECT_EQ(Count(rig.link.Pump().TxText(), "\r\n*** COM1 reopened"), 1);
  rig.link.RunUntil(watch, 3 * 60'000);

  EXPECT_EQ(statuses, (std::vector<std::string>{"COM Port Open", "COM Port Lost", "COM Port Open"}));
  EXPECT_EQ(observer.lost, 1);
  EXPECT_EQ(observer.back, 1);
  EXPECT_LE(backMs, kReopenIntervalMs + 10) << "found again at the next try";
  EXPECT_TRUE(modeKept);
  ASSERT_FALSE(lossLines.empty());
  for (const std::string& line : lossLines) EXPECT_EQ(line.rfind("E> No reply at ID: ", 0), 0u) << line;

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

// Close COM-Port works on a lost port once the link is idle; Open fails while the device is still
// away (the port reports it as for any missing device) and works once it is back.
TEST(LostDevice, ClosingAndOpeningByHandWhileTheDeviceIsAway) {
  MonitorRig rig;
  CountingObserver observer(rig.controller);
  rig.link.Pump().SetLineObserver(&observer);
  rig.controller.Command(kCmdStartReadingVariables);
  rig.LogEveryMinute();
  rig.link.Line().Unplug();
  rig.link.RunFor(100);
  ASSERT_EQ(rig.controller.ComStatusText(), "COM Port Lost");

  struct Step {
    int command;
    const char* topLine;
    const char* status;
    int mode;
  };
  const Step steps[] = {
      {kCmdCloseComPort, "E> Communication in use", "COM Port Lost", kLoggingVariables},
      {kCmdStopLogging, "I> Log stored in file ' variables.log '", "COM Port Lost", kReadingVariables},
      {kCmdStopReadingVariables, "I> Reading variables stopped", "COM Port Lost", kPortOpen},
      {kCmdCloseComPort, "I> COM Port Closed", "COM Port Closed", kPortClosed},
      {kCmdOpenComPort, "I> COM Port Closed", "COM Port Closed", kPortClosed},  // the device is away
  };
  for (const Step& s : steps) {
    rig.controller.Command(s.command);
    EXPECT_EQ(rig.TopLine(), s.topLine) << s.command;
    EXPECT_EQ(rig.controller.ComStatusText(), s.status) << s.command;
    EXPECT_EQ(rig.controller.Mode(), s.mode) << s.command;
    if (s.command == kCmdStopReadingVariables) {
      // The stopped reader's last step still ends with its line; let it, before the next command.
      const int steps = rig.log.Count('S');
      ASSERT_TRUE(rig.RunUntilEvents('S', steps + 1, 10'000));
    }
  }
  rig.link.Line().PlugIn();
  rig.link.RunFor(3'000);
  EXPECT_EQ(rig.controller.ComStatusText(), "COM Port Closed") << "a closed port is not reopened";
  EXPECT_EQ(observer.back, 0);
  rig.controller.Command(kCmdOpenComPort);
  EXPECT_EQ(rig.controller.ComStatusText(), "COM Port Open");
  rig.controller.Command(kCmdTestCommunication);
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.TopLine() == "I> Communication OK"; }, 2'000));
  EXPECT_EQ(observer.lost, 1);
}

}  // namespace
}  // namespace gelvar::testing
