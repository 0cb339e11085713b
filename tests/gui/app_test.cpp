// The program's Qt frame and gelvar-monitor itself as a process. One application object per process:
// a MonitorApp for the MonitorApp case, which runs as a second entry of the binary under a German
// locale, a plain QApplication else.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <clocale>
#include <csignal>
#include <fstream>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>

#include "core/monitor/variable_log.h"
#include "gui/app/monitor_app.h"
#include "support/row_name.h"

namespace gelvar::testing {
namespace {

// Numbers and dates in texts and files stay as the unit and the log readers expect them.
TEST(MonitorApp, KeepsNumbersAndDatesInTheCLocaleUnderAGermanDesktop) {
  if (dynamic_cast<MonitorApp*>(QCoreApplication::instance()) == nullptr) GTEST_SKIP() << "needs its test entry";
  if (!std::string(std::setlocale(LC_CTYPE, nullptr)).starts_with("de_DE")) GTEST_SKIP() << "no de_DE.UTF-8";
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)) + "/" + std::setlocale(LC_TIME, nullptr), "C/C");
}

class StopSignal : public ::testing::TestWithParam<int> {};

// systemctl stop, Ctrl-C and a logout end the program as Exit does: exit status 0, the port closed
// (no longer exclusive: closing puts its settings back first). The commands come from GELVAR_AUTORUN.
TEST_P(StopSignal, EndsTheProgramAsExitDoes) {
  const QTemporaryDir dir;
  const QString link = dir.filePath(u"unit"_qs);
  QProcess unit, program;
  unit.start(GELVAR_UNIT_SIM, {u"--link"_qs, link});
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(link); }, 5000));
  const int device = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
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
  ::kill(static_cast<pid_t>(program.processId()), GetParam());
  ASSERT_TRUE(program.waitForFinished(10000));
  int exclusive = -1;
  ::ioctl(device, TIOCGEXCL, &exclusive);
  ::close(device);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_EQ(exclusive, 0) << "the port was left open";
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

struct CommandLineRow {
  const char* name;
  const char* arguments;  // split at spaces; {dir} stands for the test's folder
  int exitCode;
  const char* said;    // standard output's first line, |, the start of standard error
  bool drawn = false;  // {dir}/ok.png is a picture afterwards
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

class CommandLine : public ::testing::TestWithParam<CommandLineRow> {};

// The folder holds ok.log (two records) and empty.log (a header only).
TEST_P(CommandLine, IsAnsweredWithoutADisplay) {
  const QTemporaryDir dir;
  const auto path = [&](const char* text) { return QString::fromLatin1(text).replace(u"{dir}"_qs, dir.path()); };
  std::ofstream(path("{dir}/ok.log").toStdString(), std::ios::binary)
      << LogHeader(1796630400, 0) + LogRecord(1, 1796630400, {}) + LogRecord(2, 1796630460, {});
  std::ofstream(path("{dir}/empty.log").toStdString(), std::ios::binary) << LogHeader(1796630400, 0);
  QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
  for (const QString& name : {u"QT_QPA_PLATFORM"_qs, u"DISPLAY"_qs, u"WAYLAND_DISPLAY"_qs}) noDisplay.remove(name);
  QProcess monitor;
  monitor.setProcessEnvironment(noDisplay);
  const rlimit size{GetParam().fileSizeLimit, GetParam().fileSizeLimit};
  monitor.setChildProcessModifier([size] { ::setrlimit(RLIMIT_FSIZE, &size); });
  monitor.start(GELVAR_MONITOR, path(GetParam().arguments).split(u' '));
  ASSERT_TRUE(monitor.waitForFinished(30000));
  const QString said = monitor.readLine() + u'|' + monitor.readAllStandardError();
  EXPECT_EQ(said.left(path(GetParam().said).size()), path(GetParam().said));
  EXPECT_EQ(monitor.exitCode(), GetParam().exitCode);
  EXPECT_EQ(QImageReader(path("{dir}/ok.png")).canRead(), GetParam().drawn) << "a picture drawn whole or not at all";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Arguments, CommandLine, ::testing::Values(
    CommandLineRow{"Help", "--help", 0, "Usage: gelvar-monitor [--plot-log FILE --png OUT.png]\n|"},
    CommandLineRow{"Version", "--version", 0, "gelvar-monitor 1.0.0\n|"},
    CommandLineRow{"UnknownOption", "--frobnicate", 2,
                   "|gelvar-monitor: unknown option '--frobnicate'\n\nUsage: gelvar-monitor"},
    CommandLineRow{"PlotWithoutPng", "--plot-log {dir}/ok.log", 2, "|gelvar-monitor: --plot-log needs --png\n"},
    CommandLineRow{"LogWithoutRecords", "--plot-log {dir}/empty.log --png {dir}/ok.png", 1,
                   "|gelvar-monitor: {dir}/empty.log: The file holds no records.\n"},
    CommandLineRow{"PictureOverTheFileSizeLimit", "--plot-log {dir}/ok.log --png {dir}/ok.png", 4,
                   "|gelvar-monitor: the picture {dir}/ok.png could not be written: File too large\n", false, 1024},
    CommandLineRow{"PlotWithEqualsSigns", "--plot-log={dir}/ok.log --png={dir}/ok.png", 0, "|", true}), kByName);
// clang-format on

}  // namespace
}  // namespace gelvar::testing

// Local time is Central European for every test: a day of 25 hours on 2026-10-25.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  const std::unique_ptr<QApplication> app = qEnvironmentVariableIsSet("GELVAR_TEST_MONITOR_APP")
                                                ? std::make_unique<gelvar::MonitorApp>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
  return RUN_ALL_TESTS();
}
