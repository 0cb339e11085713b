// The program's whole line path on real time and a real device: Qt timers, the tick, the protocol
// window's byte pump and the serial port on a pseudo-terminal served by gelvar-unit-sim; and
// gelvar-monitor itself putting a pseudo-terminal back when a signal ends it.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "link/test_support.h"
#include "link/transaction.h"
#include "serial/serial_port.h"
#include "tick/ticker.h"
#include "timing/qt_timer_host.h"
#include "tools/link_inside_window.h"
#include "tools/protocol_window.h"
#include "ui/widget_support.h"

namespace gelvar::testing {
namespace {

struct NoBoxes : SerialMessages {
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    ADD_FAILURE() << caption << ": " << text;
  }
};

TEST(PseudoTerminalPath, TransactionReachesTheSimulatedUnitAndShowsInThePanes) {
  QTemporaryDir dir;
  const QString link = dir.filePath("unit");
  QProcess unit;
  unit.start(GELVAR_UNIT_SIM, {"--link", link});
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

  // The unit answers 0x3003 with two bytes; the reply pane shows them once they came back.
  ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return FindControl<QPlainTextEdit>(&protocol, 1020)->toPlainText().contains("0002-0[U"); }, 5000));
  protocol.CloseChannel(0);
  qunsetenv("GELVAR_COM1");
  ResetLinkStateForTests();
}

termios Settings(int fd) {
  termios t;
  std::memset(&t, 0, sizeof t);  // padding too, for the comparison
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  return t;
}

// gelvar-monitor ended by a stop signal (systemctl stop, Ctrl-C, logout) ends as by Exit: exit
// status 0, and the pseudo-terminal has its settings from before.
TEST(PseudoTerminalPath, StopSignalsPutThePortBackAsExitDoes) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    const termios before = Settings(master);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("GELVAR_COM1", device);
    environment.insert("GELVAR_AUTORUN", "open");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(GELVAR_MONITOR, {});
    const auto portOpen = [&] {
      const termios now = Settings(master);
      return ::cfgetospeed(&now) == B19200;
    };
    EXPECT_TRUE(QTest::qWaitFor(portOpen, 10000));
    ::kill(static_cast<pid_t>(program.processId()), signal);
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const termios after = Settings(master);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
    ::close(slave);
    ::close(master);
  }
}

}  // namespace
}  // namespace gelvar::testing
