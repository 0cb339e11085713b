// gelvar-monitor itself on real time and a real device: gelvar-unit-sim serves a pseudo-terminal, the
// program logs what it reads from it, and a signal ends it.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace gelvar::testing {
namespace {

termios Settings(int fd) {
  termios t;
  std::memset(&t, 0, sizeof t);  // padding too, for the comparison
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  return t;
}

// The menu commands come from GELVAR_AUTORUN; a log record shows the whole line path working (Qt
// timers, the tick, the protocol window's byte pump, the serial port). Ended by a stop signal
// (systemctl stop, Ctrl-C, logout) the program ends as by Exit: exit status 0, and the device has
// its settings from before and is no longer exclusive.
TEST(PseudoTerminalPath, MonitorLogsFromTheSimulatedUnitAndAStopSignalPutsThePortBack) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    const QTemporaryDir dir;
    const QString link = dir.filePath("unit");
    QProcess unit;
    unit.start(GELVAR_UNIT_SIM, {"--link", link});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(link); }, 5000));
    const int device = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(device, 0);
    termios cooked = Settings(device);
    ::cfsetspeed(&cooked, B9600);  // far from what the program sets
    cooked.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(device, TCSANOW, &cooked), 0);
    const termios before = Settings(device);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("GELVAR_COM1", link);
    environment.insert("GELVAR_AUTORUN", "open,log-file,read-variables,log");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir.path());
    program.start(GELVAR_MONITOR, {});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          QFile log(dir.filePath("Gelvar.log"));
          return log.open(QIODevice::ReadOnly) && log.readAll().contains("\r\n00001; ");
        },
        10000));
    ::kill(static_cast<pid_t>(program.processId()), signal);
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const termios after = Settings(device);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(device, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(device);
  }
}

}  // namespace
}  // namespace gelvar::testing
