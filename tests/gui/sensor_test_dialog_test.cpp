// The sensor test window over SensorTest, against the simulated unit: its controls, the ta checks
// as the user types, a sequence into the log pane, the report and what stays after Exit.
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "gui/monitor_window_fixture.h"

namespace gelvar::testing {
namespace {

class SensorTestWindowTest : public MonitorWindowTest {
 protected:
  SensorTestWindowTest() { OpenPort(); }

  // Runs the window; `drive` works it while it is up (and queues the answers to the boxes it
  // provokes), then Exit closes it.
  void RunWindow(const std::function<void(QWidget*)>& drive) {
    answers.Then([=](QWidget* dialog) {
      drive(dialog);
      FindControl<QPushButton>(dialog, 2)->click();
    });
    sensorDialog.Run();
  }
  QString Log(QWidget* dialog) const { return FindControl<QPlainTextEdit>(dialog, 1008)->toPlainText(); }
  void Click(QWidget* dialog, int controlId) { FindControl<QAbstractButton>(dialog, controlId)->click(); }
  bool RunUntilLog(QWidget* dialog, const QString& start, std::int64_t limitMs = 20000) {
    return scheduler.RunUntil([&] { return Log(dialog).startsWith(start); }, limitMs);
  }
};

TEST_F(SensorTestWindowTest, ShowsEveryControlWithItsTextAndStartValue) {
  RunWindow([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Gelvar Sensor Test Monitor"));
    const struct {
      int id;
      const char* text;
    } buttons[] = {{1015, "Temperature"}, {1016, "Temperature"}, {1010, "Start Cycle"}, {1011, "Start Cycle"},
                   {1009, "Read Recorded Data"}, {1007, "Save Report"}, {2, "Exit"}, {1097, "Type I"},
                   {1098, "Type II"}};
    for (const auto& button : buttons) {
      EXPECT_EQ(FindControl<QAbstractButton>(dialog, button.id)->text(), QString::fromLatin1(button.text));
    }
    EXPECT_TRUE(FindControl<QPushButton>(dialog, 1007)->isDefault());
    EXPECT_TRUE(FindControl<QRadioButton>(dialog, 1098)->isChecked());
    for (const int ta : {1013, 1014}) EXPECT_EQ(FindControl<QLineEdit>(dialog, ta)->text(), QStringLiteral("250"));
    for (const int counter : {1002, 1003, 1004, 1005}) {
      EXPECT_EQ(FindControl<QLineEdit>(dialog, counter)->text(), QStringLiteral("0"));
    }
    QStringList labels;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
    for (const char* label : {"Error Rcv", "Errror Tx", "Timeout Rx", "Data Set", "Sensor Type, Description"}) {
      EXPECT_TRUE(labels.contains(QString::fromLatin1(label))) << label;
    }
  });
}

TEST_F(SensorTestWindowTest, TaIsCheckedAsTypedAndARefreshDoesNotCheckAgain) {
  QString rangeMessage;
  QString timeMessage;
  RunWindow([&](QWidget* dialog) {
    auto* ta = FindControl<QLineEdit>(dialog, 1014);
    ta->selectAll();
    answers.ThenBox(QMessageBox::Ok, &rangeMessage);
    QTest::keyClicks(ta, QStringLiteral("0"));
    scheduler.AdvanceBy(1000);  // timer messages refresh the window: no second range message
    answers.ThenBox(QMessageBox::Ok, &timeMessage);
    Click(dialog, 1011);
    EXPECT_EQ(sensorTest.TestStep(), 0);
    ta->selectAll();
    QTest::keyClicks(ta, QStringLiteral("1000"));  // 1, 10, 100, 1000: all in range
    EXPECT_EQ(sensorTest.Ta(1), 1000);
  });
  EXPECT_EQ(rangeMessage, QStringLiteral("Error: Allowed range 1...1000 s"));
  EXPECT_EQ(timeMessage, QStringLiteral("Error: Time setting"));
}

TEST_F(SensorTestWindowTest, ExitKeepsTheLogAndTheTypeForTheNextRun) {
  RunWindow([&](QWidget* dialog) {
    Click(dialog, 1016);
    ASSERT_TRUE(RunUntilLog(dialog, QStringLiteral("Temperature sensor 2: ")));
    Click(dialog, 1097);
    EXPECT_EQ(sensorTest.sensorType, 0);
  });
  RunWindow([&](QWidget* dialog) {
    EXPECT_TRUE(Log(dialog).startsWith(QStringLiteral("Temperature sensor 2: "))) << Log(dialog).toStdString();
    EXPECT_TRUE(FindControl<QRadioButton>(dialog, 1097)->isChecked());
  });
}

TEST_F(SensorTestWindowTest, RecordedDataGoesIntoTheLogAndTheReport) {
  QTemporaryDir folder;
  QString saved;
  RunWindow([&](QWidget* dialog) {
    Click(dialog, 1009);
    ASSERT_TRUE(RunUntilLog(dialog, QStringLiteral("\n\nResistance Shunt - Rsh: ")));
    EXPECT_EQ(FindControl<QLineEdit>(dialog, 1005)->text().toInt(), sensorTest.Values().dataSetTotal);
    answers.ThenFile(folder.path(), QStringLiteral("sensor1"), [](QFileDialog* files) {
      EXPECT_EQ(QFileInfo(files->selectedFiles().value(0)).fileName(), QStringLiteral("report.dat"));
      EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
      EXPECT_EQ(files->defaultSuffix(), QStringLiteral("dat"));
      EXPECT_TRUE(files->testOption(QFileDialog::DontConfirmOverwrite));
    });
    answers.ThenBox(QMessageBox::Ok, &saved);
    Click(dialog, 1007);
  });
  const QString path = QDir(folder.path()).filePath(QStringLiteral("sensor1.dat"));
  EXPECT_EQ(saved, QStringLiteral("Report saved in file ") + QDir::toNativeSeparators(path));
  QFile report(path);
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  EXPECT_TRUE(report.readAll().startsWith("t[s]; Uv[V]; Ush[V];  Ts[\xB0" "C]; Rs[Ohm]\r\n"));
}

}  // namespace
}  // namespace gelvar::testing
