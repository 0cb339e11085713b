// The protocol and inside windows on the link to the simulated unit (the pane texts are the pump's;
// the pseudo-terminal test shows them on a real line).
#include <QAbstractButton>
#include <QTest>

#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

TEST_F(WindowTest, ProtocolPanesClearOneAtATimeAndAHiddenWindowCatchesUpWhenShown) {
  inside.show();
  scheduler.AdvanceBy(windowTimerPeriod);
  EXPECT_EQ(Text(&inside, 1042), u"0"_qs);  // "Zustand": off before the link opens
  StartWithPortOpen();
  protocol.show();
  Command(kCmdTestCommunication);
  ASSERT_TRUE(scheduler.RunUntil([&] { return Text(&protocol, 1020).endsWith(u']'); }, 20000));
  scheduler.AdvanceBy(1000);  // the test is over
  QTest::mouseClick(In<QAbstractButton>(&protocol, 1077), Qt::LeftButton);
  EXPECT_TRUE(Text(&protocol, 1019).isEmpty());
  EXPECT_FALSE(Text(&protocol, 1020).isEmpty());

  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
  unit.Faults().badChecksumRate = 1.0;
  Command(kCmdTestCommunication);
  EXPECT_TRUE(scheduler.RunUntil([&] { return Text(&inside, 1047) == u"1"_qs; }, 700));  // "Rf Error"
  EXPECT_FALSE(Text(&protocol, 1020).contains(u"0004-0["_qs)) << "a hidden window's panes wait until it is shown";
  protocol.show();
  EXPECT_TRUE(Text(&protocol, 1020).contains(u"\n0004-0["_qs));
}

}  // namespace
}  // namespace gelvar::testing
