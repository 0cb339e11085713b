// The program's Qt frame: its application object and timers, and gelvar-monitor itself as a process.
// One application object per process: a MonitorApp for the MonitorApp case, which runs as a second
// entry of the binary under a German locale, a plain QApplication else.
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
#include "qt/qt_timer_host.h"

namespace gelvar::testing {
namespace {

MonitorApp* TheMonitorApp() { return dynamic_cast<MonitorApp*>(QCoreApplication::instance()); }

TEST(MonitorApp, ShowsOnlyTheMainWindowUntilItIsClosed) {
  MonitorApp* app = TheMonitorApp();
  if (app == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  QStringList shown;
  QTimer::singleShot(50, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible()) continue;
      shown << widget->windowTitle();
      widget->close();
    }
  });
  EXPECT_EQ(app->Startup(), 0);  // returns only when the program ends
  EXPECT_EQ(shown, QStringList{u"Gelvar Monitor"_qs});
}

// Numbers and dates in texts and files stay as the unit and the log readers expect them.
TEST(MonitorApp, KeepsNumbersAndDatesInTheCLocaleUnderAGermanDesktop) {
  if (TheMonitorApp() == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  if (!std::string(std::setlocale(LC_CTYPE, nullptr)).starts_with("de_DE")) GTEST_SKIP() << "no de_DE.UTF-8";
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C");
}

// The byte pump runs right after the tick it was started after, and stops both from a callback.
TEST(QtTimerHost, EqualTimersFireInTheOrderTheyWereStarted) {
  QtTimerHost host;
  std::string order;
  const TimerId first = host.StartTimer(5, [&] { order += 'a'; });
  TimerId second = 0;
  second = host.StartTimer(5, [&] {
    order += 'b';
    if (order.size() < 6) return;
    host.StopTimer(first);
    host.StopTimer(second);
  });
  QTest::qWait(100);
  EXPECT_EQ(order, "ababab") << "longer: a timer stopped from a callback fired on";
}

struct StopSignalRow {
  const char* name;
  int signal;
};

class StopSignal : public ::testing::TestWithParam<StopSignalRow> {};

// systemctl stop, Ctrl-C and a logout end the program as Exit does: exit status 0, and the device has
// its settings from before and is no longer exclusive. The menu commands come from GELVAR_AUTORUN.
TEST_P(StopSignal, EndsTheProgramAsExitDoes) {
  const QTemporaryDir dir;
  const QString link = dir.filePath(u"unit"_qs);
  QProcess unit;
  unit.start(GELVAR_UNIT_SIM, {u"--link"_qs, link});
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
  environment.insert(u"GELVAR_COM1"_qs, link);
  environment.insert(u"GELVAR_AUTORUN"_qs, u"open,log-file,read-variables,log"_qs);
  program.setProcessEnvironment(environment);
  program.setWorkingDirectory(dir.path());
  program.start(GELVAR_MONITOR, {});
  const auto logged = [&] {
    QFile log(dir.filePath(u"Gelvar.log"_qs));
    return log.open(QIODevice::ReadOnly) && log.readAll().contains("\r\n00001; ");
  };
  ASSERT_TRUE(QTest::qWaitFor(logged, 10000)) << "no record logged: the port was never in use";
  ::kill(static_cast<pid_t>(program.processId()), GetParam().signal);
  ASSERT_TRUE(program.waitForFinished(10000));
  EXPECT_EQ(program.exitCode(), 0);
  termios after = termios();
  EXPECT_EQ(::tcgetattr(device, &after), 0);
  EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << "the device's settings were not put back";
  int exclusive = -1;
  EXPECT_EQ(::ioctl(device, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "the device is still exclusive";
  ::close(device);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal,
                         ::testing::Values(StopSignalRow{"Terminate", SIGTERM}, StopSignalRow{"Interrupt", SIGINT},
                                           StopSignalRow{"HangUp", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CommandLineRow {
  const char* name;
  const char* arguments;  // split at spaces; {dir} stands for the test's folder
  int exitCode;
  const char* out;     // the start of standard output
  const char* error;   // standard error: the whole of it when empty, else its start
  bool drawn = false;  // {dir}/ok.png is a picture afterwards
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

// The folder holds ok.log (two records) and empty.log (a header only).
class CommandLine : public ::testing::TestWithParam<CommandLineRow> {
 protected:
  CommandLine() {
    std::ofstream(Path("{dir}/ok.log"), std::ios::binary)
        << LogHeader(1796630400, 0) + LogRecord(1, 1796630400, {}) + LogRecord(2, 1796630460, {});
    std::ofstream(Path("{dir}/empty.log"), std::ios::binary) << LogHeader(1796630400, 0);
  }
  std::string Path(const char* text) const {
    return QString::fromLatin1(text).replace(u"{dir}"_qs, dir.path()).toStdString();
  }

  const QTemporaryDir dir;
};

TEST_P(CommandLine, IsAnsweredWithoutADisplay) {
  const CommandLineRow& row = GetParam();
  QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
  for (const QString& name : {u"QT_QPA_PLATFORM"_qs, u"DISPLAY"_qs, u"WAYLAND_DISPLAY"_qs}) noDisplay.remove(name);
  QProcess monitor;
  monitor.setProcessEnvironment(noDisplay);
  monitor.setChildProcessModifier([limit = row.fileSizeLimit] {
    const rlimit size{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &size);
  });
  monitor.start(GELVAR_MONITOR, QString::fromStdString(Path(row.arguments)).split(u' '));
  ASSERT_TRUE(monitor.waitForFinished(30000));
  EXPECT_EQ(monitor.exitCode(), row.exitCode);
  EXPECT_TRUE(monitor.readAllStandardOutput().startsWith(row.out)) << "standard output";
  const std::string error = Path(row.error);
  const std::string said = monitor.readAllStandardError().toStdString();
  EXPECT_EQ(error.empty() ? said : said.substr(0, error.size()), error) << "standard error";
  EXPECT_EQ(QImageReader(QString::fromStdString(Path("{dir}/ok.png"))).canRead(), row.drawn)
      << "a picture is drawn whole or not at all";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(
        CommandLineRow{"Help", "--help", 0, "Usage: gelvar-monitor [--plot-log FILE --png OUT.png]\n", ""},
        CommandLineRow{"Version", "--version", 0, "gelvar-monitor 1.0.0\n", ""},
        CommandLineRow{"UnknownOption", "--frobnicate", 2, "",
                       "gelvar-monitor: unknown option '--frobnicate'\n\nUsage: gelvar-monitor"},
        CommandLineRow{"PlotWithoutPng", "--plot-log {dir}/ok.log", 2, "", "gelvar-monitor: --plot-log needs --png\n"},
        CommandLineRow{"LogWithoutRecords", "--plot-log {dir}/empty.log --png {dir}/ok.png", 1, "",
                       "gelvar-monitor: {dir}/empty.log: The file holds no records.\n"},
        CommandLineRow{"PictureOverTheFileSizeLimit", "--plot-log {dir}/ok.log --png {dir}/ok.png", 4, "",
                       "gelvar-monitor: the picture {dir}/ok.png could not be written: File too large\n", false, 1024},
        CommandLineRow{"PlotWithEqualsSigns", "--plot-log={dir}/ok.log --png={dir}/ok.png", 0, "", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

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
