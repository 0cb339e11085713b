// The tool windows on a simulated unit in virtual time: the windows' timers and the tick run on a
// VirtualScheduler, so a test advances time and reads the widgets.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/ticker.h"
#include "app/widget_support.h"
#include "link/test_support.h"
#include "link/transaction.h"
#include "support/virtual_scheduler.h"
#include "tools/link_inside_window.h"
#include "tools/protocol_window.h"
#include "unitsim/simulated_line.h"
#include "unitsim/unit_model.h"

namespace gelvar::testing {

class ToolWindowTest : public ::testing::Test {
 protected:
  ToolWindowTest() {
    ResetLinkStateForTests();
    tickPeriod = windowTimerPeriod = kStartTickPeriodMs;
    protocol.Create();
  }
  ~ToolWindowTest() override { ResetLinkStateForTests(); }

  // The program's start: tick running, link open, COM port of channel 0 open.
  void StartLinkAndPort() {
    ticker.Start();
    StartLink();
    ASSERT_EQ(protocol.OpenChannel(0, 1), 1);
  }

  // Reads object 0x3000 and waits for the outcome; true when a reply came.
  bool ReadOneObject() {
    if (linkTransaction.Start(0x3000, nullptr) != 1) return false;
    int result = kPollBusy;
    scheduler.RunUntil(
        [&] {
          int tries = 0, cycles = 0, ms = 0;
          result = linkTransaction.Poll(&request, &tries, &cycles, &ms);
          return result != kPollBusy;
        },
        10000);
    scheduler.AdvanceBy(2 * kStartTickPeriodMs);  // the panes catch up with the last bytes
    return result >= 0;
  }

  QString PaneText(int controlId) const { return FindControl<QPlainTextEdit>(&protocol, controlId)->toPlainText(); }
  QString FieldText(int controlId) const { return FindControl<QLineEdit>(&inside, controlId)->text(); }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  LinkInsideWindow inside{scheduler};
  ProtocolWindow protocol{scheduler, line, inside};
  Ticker ticker{scheduler};
  ObjectRequest request{};
};

}  // namespace gelvar::testing
