// The program's whole line path on real time and a real device: Qt timers, the tick, the protocol
// window's byte pump and the serial port on a pseudo-terminal served by gelvar-unit-sim.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include "app/qt_timer_host.h"
#include "app/ticker.h"
#include "app/widget_support.h"
#include "link/test_support.h"
#include "link/transaction.h"
#include "serial/serial_port.h"
#include "tools/link_inside_window.h"
#include "tools/protocol_window.h"

namespace gelvar::testing {
namespace {

class NoBoxes : public SerialMessages {
 public:
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    ADD_FAILURE() << caption << ": " << text;
  }
};

TEST(PseudoTerminalPath, TransactionReachesTheSimulatedUnitAndShowsInThePanes) {
  QTemporaryDir dir;
  const QString link = dir.filePath("unit");
  QProcess unit;
  unit.start(GELVAR_UNIT_SIM, {"--link", link});
  ASSERT_TRUE(unit.waitForReadyRead(5000)) << "gelvar-unit-sim did not start";
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(link); }, 5000));
  qputenv("GELVAR_COM1", link.toLocal8Bit());

  ResetLinkStateForTests();
  QtTimerHost timers;
  NoBoxes boxes;
  SerialPort port(boxes);
  LinkInsideWindow inside(timers);
  ProtocolWindow protocol(timers, port, inside);
  Ticker ticker(timers);
  tickPeriod = windowTimerPeriod = kStartTickPeriodMs;
  ticker.Start();
  protocol.Create();
  protocol.show();
  StartLink();
  ASSERT_EQ(protocol.OpenChannel(0, 1), 1);

  ObjectRequest reply{};
  int result = kPollBusy;
  ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        result = linkTransaction.Poll(&reply, nullptr, nullptr, nullptr);
        return result != kPollBusy;
      },
      5000));
  EXPECT_EQ(result, 2) << "the unit answers 0x3003 with two bytes";
  QTest::qWait(50);
  EXPECT_TRUE(FindControl<QPlainTextEdit>(&protocol, 1019)->toPlainText().contains("0001-0[T"));
  EXPECT_TRUE(FindControl<QPlainTextEdit>(&protocol, 1020)->toPlainText().contains("0002-0[U"));

  protocol.CloseChannel(0);
  ticker.Stop();
  unit.terminate();
  EXPECT_TRUE(unit.waitForFinished(5000));
  EXPECT_EQ(unit.exitCode(), 0);
  qunsetenv("GELVAR_COM1");
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
