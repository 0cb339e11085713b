// The program's Qt frame: its application object, timers and tones, and gelvar-monitor itself as a
// process on a pseudo-terminal. One application object per process: a MonitorApp for the MonitorApp
// case, which runs as a second entry of the binary under a German locale, a plain QApplication else.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include "core/monitor/variable_log.h"
#include "gui/app/monitor_app.h"
#include "gui/ui/tone_player.h"
#include "qt/qt_timer_host.h"

namespace gelvar::testing {
namespace {

// No tool window shows at start, closing the main window ends the program, and numbers and dates stay
// in the C locale under a German desktop.
TEST(MonitorApp, StartsWithOnlyTheMainWindowEndsWithItAndKeepsTheCLocale) {
  auto* app = dynamic_cast<MonitorApp*>(QCoreApplication::instance());
  if (app == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  QStringList shown;
  QTimer::singleShot(50, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible()) continue;
      shown << widget->windowTitle();
      widget->close();  // the main window: the program ends
    }
  });
  EXPECT_EQ(app->Startup(), 0);  // returns only when the program ends
  EXPECT_EQ(shown, QStringList{QStringLiteral("Gelvar Monitor")});
  if (!std::string(std::setlocale(LC_CTYPE, nullptr)).starts_with("de_DE")) GTEST_SKIP() << "no de_DE.UTF-8";
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C");
}

// The byte pump relies on all three: it runs right after the tick it was started after, it is woken
// when the port has bytes, and a timer may stop itself and others from its own callback.
TEST(QtTimerHost, EqualTimersFireInStartOrderStopFromACallbackAndWatchesWakeOnArrival) {
  QtTimerHost host;
  std::string order;
  const TimerId first = host.StartTimer(5, [&] { order += 'a'; });
  const TimerId second = host.StartTimer(5, [&] {
    order += 'b';
    if (order.size() == 20) {
      host.StopTimer(first);
      host.StopTimer(second);
    }
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() >= 20; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(order, "abababababababababab");

  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  int woken = 0;
  char byte = 0;
  const TimerId watch =
      host.WatchReadable(pipeEnds[0], [&] { woken += static_cast<int>(::read(pipeEnds[0], &byte, 1)); });
  EXPECT_EQ(::write(pipeEnds[1], "x", 1), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return woken == 1; }, 5000));
  host.StopWatch(watch);
  EXPECT_EQ(::write(pipeEnds[1], "y", 1), 1);
  QTest::qWait(30);
  EXPECT_EQ(woken, 1);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

// The player's returning at once while a pair sounds is shown by the window tests.
TEST(TonePlayer, IsSilentWithoutASoundDevice) {
  TonePlayer withoutDevice(OpenSoundOutput());
  withoutDevice.Play({2000, 120, 1000, 80});
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
    termios before = termios();  // value-initialised: its padding is zero too, for the comparison
    ASSERT_EQ(::tcgetattr(device, &before), 0);
    ::cfsetspeed(&before, B9600);  // far from what the program sets
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(device, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(device, &before), 0);  // as the device keeps them
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("GELVAR_COM1", link);
    environment.insert("GELVAR_AUTORUN", "open,log-file,read-variables,log");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir.path());
    program.start(GELVAR_MONITOR, {});
    const auto logged = [&] {
      QFile log(dir.filePath("Gelvar.log"));
      return log.open(QIODevice::ReadOnly) && log.readAll().contains("\r\n00001; ");
    };
    EXPECT_TRUE(QTest::qWaitFor(logged, 10000));
    ::kill(static_cast<pid_t>(program.processId()), signal);
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    termios after = termios();
    EXPECT_EQ(::tcgetattr(device, &after), 0);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(device, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(device);
  }
}

// Without a display: --help, --version and a mistake are answered before Qt starts, a plot takes
// both option forms and leaves standard error to its own messages, and a picture that cannot be
// written whole (a file size limit) is not there at all.
TEST(MonitorProgram, AnswersItsCommandLineWithoutADisplayAndWritesAPictureWholeOrNot) {
  const QTemporaryDir dir;
  const QString log = dir.filePath("ok.log");
  const QString png = dir.filePath("ok.png");
  std::ofstream(log.toStdString(), std::ios::binary)
      << LogHeader(1796630400, 0) + LogRecord(1, 1796630400, {}) + LogRecord(2, 1796630460, {});
  QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) noDisplay.remove(name);
  // The arguments, the file size limit (0: none), the exit status, the start of standard output and
  // of standard error, the files in the folder afterwards.
  const std::tuple<QStringList, rlim_t, int, std::string, std::string, QStringList> cases[] = {
      {{"--help"}, 0, 0, "Usage: gelvar-monitor [--plot-log FILE --png OUT.png]\n", "", {"ok.log"}},
      {{"--version"}, 0, 0, "gelvar-monitor 1.0.0\n", "", {"ok.log"}},
      {{"--frobnicate"},
       0,
       2,
       "",
       "gelvar-monitor: unknown option '--frobnicate'\n\nUsage: gelvar-monitor",
       {"ok.log"}},
      {{"--plot-log", log}, 0, 2, "", "gelvar-monitor: --plot-log needs --png\n", {"ok.log"}},
      {{"--plot-log", log, "--png", png},
       1024,
       4,
       "",
       "gelvar-monitor: the picture " + png.toStdString() + " could not be written: File too large\n",
       {"ok.log"}},
      {{"--plot-log=" + log, "--png=" + png}, 0, 0, "", "", {"ok.log", "ok.png"}},
  };
  for (const auto& [arguments, sizeLimit, exitCode, out, error, files] : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    QProcess monitor;
    monitor.setProcessEnvironment(noDisplay);
    monitor.setChildProcessModifier([limit = sizeLimit] {
      const rlimit size{limit, limit};
      if (limit != 0) ::setrlimit(RLIMIT_FSIZE, &size);
    });
    monitor.start(GELVAR_MONITOR, arguments);
    ASSERT_TRUE(monitor.waitForFinished(30000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), exitCode);
    EXPECT_TRUE(monitor.readAllStandardOutput().startsWith(out.c_str()));
    const std::string said = monitor.readAllStandardError().toStdString();
    EXPECT_EQ(error.empty() ? said : said.substr(0, error.size()), error) << "standard error as a whole";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).join(' '), files.join(' '))
        << "nothing half-written, nothing left beside";
  }
}

}  // namespace
}  // namespace gelvar::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::unique_ptr<QApplication> app = qEnvironmentVariableIsSet("GELVAR_TEST_MONITOR_APP")
                                                ? std::make_unique<gelvar::MonitorApp>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
  return RUN_ALL_TESTS();
}
