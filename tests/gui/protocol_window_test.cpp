// The protocol and inside windows on the link to the simulated unit.
#include <QAbstractButton>
#include <QTest>

#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

class ProtocolWindowTest : public WindowTest {
 protected:
  // Tests the communication and waits until the reply `rxFrame` is in the Rx pane and the test is over.
  bool Exchange(const QString& rxFrame) {
    Command(kCmdTestCommunication);
    const bool replied = RunUntil([&] { return Rx().contains(rxFrame) && Rx().endsWith(u']'); });
    scheduler.AdvanceBy(1000);
    return replied;
  }
  QString Tx() const { return Text(&protocol, 1019); }
  QString Rx() const { return Text(&protocol, 1020); }
};

TEST_F(ProtocolWindowTest, PanesShowTheFramesClearEmptiesOneAndHidingKeepsThePumpGoing) {
  StartWithPortOpen();
  protocol.show();
  ASSERT_TRUE(Exchange(u"0002-0["_qs));
  EXPECT_TRUE(Tx().startsWith(QStringLiteral("0001-0[T")) && Tx().endsWith(u']')) << Tx().toStdString();
  EXPECT_TRUE(Rx().startsWith(QStringLiteral("0002-0[")) && Rx().endsWith(u']')) << Rx().toStdString();

  QTest::mouseClick(In<QAbstractButton>(&protocol, 1077), Qt::LeftButton);
  EXPECT_TRUE(Tx().isEmpty());
  EXPECT_FALSE(Rx().isEmpty());

  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
  protocol.show();
  protocol.close();
  EXPECT_FALSE(protocol.isVisible());
  Command(kCmdTestCommunication);
  scheduler.AdvanceBy(1000);
  EXPECT_FALSE(Rx().contains(u"0004-0["_qs)) << "a hidden window's panes wait until it is shown";
  protocol.show();
  EXPECT_TRUE(Tx().startsWith(QStringLiteral("0003-0[T"))) << Tx().toStdString();
  EXPECT_TRUE(Rx().contains(u"\n0004-0["_qs)) << Rx().toStdString();
}

TEST_F(ProtocolWindowTest, InsideWindowShowsTheDriverAndCountsABadChecksum) {
  inside.show();
  scheduler.AdvanceBy(windowTimerPeriod);
  EXPECT_EQ(Text(&inside, 1042),
            QStringLiteral("0"));                        // "Zustand": off before the link opens
  EXPECT_EQ(Text(&inside, 1043), QStringLiteral("00"));  // Control
  StartWithPortOpen();
  unit.Faults().badChecksumRate = 1.0;
  Command(kCmdTestCommunication);
  EXPECT_TRUE(RunUntil([&] { return Text(&inside, 1047) == QStringLiteral("1"); },
                       700));  // "Rf Error"
}

}  // namespace
}  // namespace gelvar::testing
