// The protocol and inside windows on the link to the simulated unit.
#include <QAbstractButton>
#include <QTest>
#include <string>

#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

using namespace std::string_literals;

TEST(TracePaneText, ShowsFrameBytesAndBreaksOnlyAtFrameStarts) {
  const struct {
    std::string trace;
    QString shown;
  } cases[] = {
      {"\r\n0007-0[U\x00\r\n0008]\r\n0009-0[\xB0]"s, u"\n0007-0[U\u2400\u240D\u240A0008]\n0009-0[\u00B0]"_qs},
      {"\n0001-0[]\r"s, u"\u240A0001-0[]\u240D"_qs},  // a pane cut between CR and LF
      {"\r\n0001-0[T]\r\n*** COM1 lost\r\n0002-0[T]"s, u"\n0001-0[T]\n*** COM1 lost\n0002-0[T]"_qs},
  };
  for (const auto& c : cases) EXPECT_EQ(TracePaneText(c.trace), c.shown) << c.shown.toStdString();
}

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
  ASSERT_TRUE(Exchange(u"\n0002-0["_qs));
  EXPECT_TRUE(Tx().startsWith(QStringLiteral("\n0001-0[T")) && Tx().endsWith(u']')) << Tx().toStdString();
  EXPECT_TRUE(Rx().startsWith(QStringLiteral("\n0002-0[")) && Rx().endsWith(u']')) << Rx().toStdString();

  QTest::mouseClick(In<QAbstractButton>(&protocol, 1077), Qt::LeftButton);
  EXPECT_TRUE(Tx().isEmpty());
  EXPECT_FALSE(Rx().isEmpty());

  protocol.show();
  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
  protocol.show();
  protocol.close();
  EXPECT_FALSE(protocol.isVisible());
  ASSERT_TRUE(Exchange(u"\n0004-0["_qs));
  EXPECT_TRUE(Tx().startsWith(QStringLiteral("\n0003-0[T"))) << Tx().toStdString();
}

TEST_F(ProtocolWindowTest, InsideWindowShowsTheDriverAndCountsABadChecksum) {
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
