// The main window and the dialogs it opens, against the simulated unit. What the commands do is the
// controller's; these show the window wired to it: its menu and layout, the fields and bars, the
// answers of its boxes, and the dialogs only the window has (input box, device list, file dialogs,
// the sensor test window).
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTreeWidget>

#include <map>

#include <unistd.h>

#include "gui/window_fixture.h"
#include "monitor/device_model.h"

namespace gelvar::testing {
namespace {

class MonitorWindowTest : public WindowTest {
 protected:
  // Every value field and status text shows what the controller holds; returns how many fields are
  // "undef.".
  int Undefined() const {
    EXPECT_EQ(Field(kStatusComPort), FromWindowsText(window.Controller().ComStatusText()));
    EXPECT_EQ(Field(kStatusLogging), FromWindowsText(window.Controller().LogStatusText()));
    int undefined = 0;
    for (const int id : DisplayFields::ControlIds()) {
      EXPECT_EQ(Field(id), FromWindowsText(window.Controller().Fields().Text(id))) << id;
      undefined += Field(id) == u"undef."_qs;
    }
    return undefined;
  }
  // The highest value each progress bar showed until `done`.
  std::map<int, int> BarPeaks(const std::function<bool()>& done, std::int64_t limitMs) {
    std::map<int, int> peaks;
    scheduler.RunUntil(
        [&] {
          for (const int id : {1077, 1078, 1081})
            peaks[id] = std::max(peaks[id], In<QProgressBar>(&window, id)->value());
          return done();
        },
        limitMs);
    return peaks;
  }
  // Answers OK to the command's question, works the window it brings up, then closes it.
  void RunWindowAfterOk(int command, const std::function<void(QWidget*)>& drive) {
    answers.ThenBox(QMessageBox::Ok);
    answers.Then([&](QWidget* dialog) {
      drive(dialog);
      In<QPushButton>(dialog, 2)->click();
    });
    Command(command);
  }
  static void TypeAndPressOk(QWidget* box, const QString& text) {
    auto* edit = In<QLineEdit>(box, 1087);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    In<QPushButton>(box, 1)->click();
  }
};

TEST_F(MonitorWindowTest, ClosedPortMenuLayoutAndTheWindowsOwnDialogs) {
  Start();
  EXPECT_EQ(Field(1074), u"5"_qs);  // the log interval
  // On a screen too small for every field (offscreen: 800 x 600) the window fits it and scrolls.
  const QWidget* content = window.findChild<QScrollArea*>()->widget();
  EXPECT_TRUE(window.screen()->availableGeometry().contains(QRect(QPoint(), window.size())));
  EXPECT_GE(content->width(), content->minimumSizeHint().width());
  EXPECT_GT(content->width(), window.width());
  // "-" stands for a separator.
  const QStringList menus = {
      u"&Communication: &Set COM Port=32810 Choose Serial &Device...=32814 &Open COM-Port=32775 "
      u"&Close COM-Port=32776 - &Test Communication=32809 Show &Protocol Window=32784 - E&xit=32779"_qs,
      u"Co&mmands: &Start min. Heat Time=32798 S&top min. Heat Time=32799 - Start Cycle Sensor &1=32800 "
      u"Start Cycle Sensor &2=32801 - &Factory Settings=32802"_qs,
      u"&Parameters: &Read Parameters=32803 - &Save Parameters=32808"_qs,
      u"&Variables: &Start Reading Variables=32806 S&top Reading Variables=32807 - Show &Trend=32815"_qs,
      u"&Logs: Set Log &Interval=32811 &Open Log File=32772 - &Start Logging Variables=32804 "
      u"S&top Logging Variables=32805 - &Plot Log File...=32816"_qs,
      u"&Tools: Test &Monitor=32783 Program &Update=32813"_qs,
      u"&Help: Show &ReadMe=32812 &About ...=32778"_qs,
  };
  QStringList shown;
  for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) {
    QString items = menu->text() + u':';
    for (const QAction* item : menu->menu()->actions()) {
      items += u' ' + (item->isSeparator() ? u"-"_qs : item->text() + u'=' + item->data().toString());
    }
    shown << items;
  }
  EXPECT_EQ(shown, menus);

  // The device list follows the plugs, and the choice reaches the COM port field.
  discovery.devices = {{"/dev/ttyS0", "built-in serial port"}};
  const std::string adapter = LocalPath(settingsFolder.filePath(u"usb-FTDI_FT232R_A50285BI"_qs));
  QFile(QString::fromStdString(adapter)).open(QIODevice::WriteOnly);
  answers.Then([&](QWidget* dialog) {
    auto* list = In<QTreeWidget>(dialog, 1120);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_TRUE(list->topLevelItem(0)->isSelected()) << "the device of COM 1 now";
    discovery.devices.push_back({adapter, "FTDI FT232R USB UART, serial A50285BI"});
    scheduler.AdvanceBy(1000);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    list->setCurrentItem(list->topLevelItem(1));
    In<QPushButton>(dialog, 1)->click();
  });
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(In(&window, 1073)->toolTip().startsWith(QString::fromStdString("COM 1 is " + adapter + " (chosen")));
  qputenv("GELVAR_COM1", "/dev/ttyV1");
  QString note;
  answers.Then([&](QWidget* dialog) {
    note = Text(dialog, 1121);
    In<QPushButton>(dialog, 2)->click();
  });
  Command(kCmdChooseSerialDevice);
  qunsetenv("GELVAR_COM1");
  EXPECT_EQ(note, u"GELVAR_COM1 is set to /dev/ttyV1 and wins over the choice made here."_qs);

  // A file dialog starts in the folder of the last file written, not of the last one chosen; it never
  // reads a file to tell its type, so showing /proc (whose kmsg blocks any reader) leaves the program
  // running.
  QTemporaryDir failed;
  QTemporaryDir written;
  files.unwritable.insert(LocalPath(QDir(failed.path()).filePath(u"Gelvar.par"_qs)));
  QStringList startFolders;
  QString box;
  ::alarm(60);  // a frozen dialog ends the test run instead of hanging it
  for (const QString& folder : {failed.path(), written.path(), written.path()}) {
    answers.Then([&](QWidget* dialog) {
      auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(fileDialog, nullptr);
      startFolders << fileDialog->directory().absolutePath();
      fileDialog->setDirectory(u"/proc"_qs);
      QTest::qWait(300);
      fileDialog->setDirectory(folder);
      fileDialog->selectFile(u"Gelvar.par"_qs);
      static_cast<QDialog*>(fileDialog)->accept();
    });
    if (folder == failed.path()) answers.ThenBox(QMessageBox::Ok, &box);
    Command(kCmdSaveParameters);
  }
  ::alarm(0);
  EXPECT_EQ(startFolders, (QStringList{startFolders.value(0), startFolders.value(0), written.path()}));
  EXPECT_TRUE(box.endsWith(u"Gelvar.par: Read-only file system"_qs)) << box.toStdString();

  // The input box refuses anything but a whole number and stays open; the ranges are the controller's.
  QString refusal;
  answers.Then([&](QWidget* box) {
    TypeAndPressOk(box, u"abc"_qs);  // the refusal box comes up and is answered inside this call
    TypeAndPressOk(box, u" 255 "_qs);
  });
  answers.ThenBox(QMessageBox::Ok, &refusal);
  Command(kCmdSetComPort);
  EXPECT_EQ(refusal, u"Geben Sie bitte eine ganze Zahl ein."_qs);
  EXPECT_EQ(Field(1073), u"255"_qs);
  Command(kCmdOpenComPort);
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(Field(1082).startsWith(u"E> COM Port already open\n"_qs)) << "the newest message is on top";
}

TEST_F(MonitorWindowTest, OpenPortGoesOnOnlyAfterOkAndFillsTheFieldsAndBars) {
  StartWithPortOpen();
  const std::size_t requestsBefore = unit.Requests().size();
  QString question;
  answers.ThenBox(QMessageBox::Cancel, &question);
  Command(kCmdFactorySettings);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(question, u"Are you shure to reset all parameters to default values?"_qs);
  EXPECT_EQ(unit.Requests().size(), requestsBefore);
  RunWindowAfterOk(kCmdProgramUpdate,
                   [](QWidget* dialog) { EXPECT_EQ(dialog->windowTitle(), u"Gelvar Software-Update"_qs); });

  Command(kCmdReadParameters);
  EXPECT_EQ(BarPeaks([&] { return window.Controller().Mode() == kPortOpen; }, 20000).at(1077), 17);
  EXPECT_EQ(Field(1040), u"°C"_qs);
  EXPECT_EQ(Undefined(), 52 - 19);  // the parameters and the operating hours
  Command(kCmdStartReadingVariables);
  const std::map<int, int> peaks = BarPeaks([] { return false; }, 8000);
  EXPECT_EQ(peaks.at(1078), 14);
  EXPECT_GT(peaks.at(1081), 1000);
  EXPECT_EQ(Undefined(), 3);  // the hidden ones
}

// Reached through its question. The ta field is checked as it is typed, the description kept in
// Windows-1252; the refreshes of a running step neither check ta again nor touch the field that has
// the focus. The buttons write the log, and Exit keeps it.
TEST_F(MonitorWindowTest, SensorTestWindowTakesTypedFieldsAsTypedAndKeepsItsLog) {
  StartWithPortOpen();
  // Each button writes the log; the first was pressed while the description was typed.
  const QString rsh = u"\n\nResistance Shunt - Rsh: "_qs;
  const std::pair<int, QString> buttons[] = {
      {1016, u"Temperature sensor 2: "_qs},
      {1010, u"Record sensor 1 started!"_qs},
      {1009, rsh},
  };
  QString rangeMessage;
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    auto* ta = In<QLineEdit>(dialog, 1014);
    ta->selectAll();
    answers.ThenBox(QMessageBox::Ok, &rangeMessage);
    QTest::keyClicks(ta, u"0"_qs);
    auto* description = In<QLineEdit>(dialog, 1012);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    ASSERT_TRUE(description->hasFocus());
    In<QAbstractButton>(dialog, 1016)->click();
    for (const QString& typed : {u"\u20AC"_qs, u"\u03A9"_qs}) {
      QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, typed, Qt::NoModifier);
    }
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(sensorTest.description, "\x80?");
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
    ta->selectAll();
    QTest::keyClicks(ta, u"1000"_qs);  // 1, 10, 100, 1000: all in range
    EXPECT_EQ(sensorTest.Ta(1), 1000);
    for (const auto& [button, logStart] : buttons) {
      if (button != 1016) In<QAbstractButton>(dialog, button)->click();
      EXPECT_TRUE(scheduler.RunUntil([&] { return Text(dialog, 1008).startsWith(logStart); }, 400000)) << button;
    }
  });
  EXPECT_EQ(rangeMessage, u"Error: Allowed range 1...1000 s"_qs);
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) { EXPECT_TRUE(Text(dialog, 1008).startsWith(rsh)); });
}

}  // namespace
}  // namespace gelvar::testing
