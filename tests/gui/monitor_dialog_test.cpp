// The main window and the dialogs it opens, against the simulated unit: what it shows at start, its
// menu, the device commands through to the unit and back into the fields, its questions, input box and
// file dialogs, and the sensor test window.
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTreeWidget>

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
  int Bar(int controlId) const { return In<QProgressBar>(&window, controlId)->value(); }
  static void TypeAndPressOk(QWidget* box, const QString& text) {
    auto* edit = In<QLineEdit>(box, 1087);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    In<QPushButton>(box, 1)->click();
  }
};

TEST_F(MonitorWindowTest, StartsClosedWithEveryFieldUndefinedAndTheFullMenu) {
  Start();
  EXPECT_EQ(window.Controller().Mode(), kPortClosed);
  EXPECT_EQ(Undefined(), static_cast<int>(DisplayFields::ControlIds().size()));
  EXPECT_EQ(Field(1073) + u'/' + Field(1074), u"1/5"_qs);  // COM port / log interval
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
}

TEST_F(MonitorWindowTest, DeviceCommandsFillTheFieldsAndMoveTheBars) {
  StartWithPortOpen();
  EXPECT_EQ(NewestMessage(), u"I> COM Port Opened"_qs);
  Command(kCmdTestCommunication);
  ASSERT_TRUE(RunUntil([&] { return NewestMessage() == u"I> Communication OK"_qs; }));

  Command(kCmdReadParameters);
  int mostParameters = 0;
  ASSERT_TRUE(RunUntil([&] {
    mostParameters = std::max(mostParameters, Bar(1077));
    return window.Controller().Mode() == kPortOpen;
  }));
  EXPECT_EQ(mostParameters, 17);
  EXPECT_EQ(NewestMessage(), u"I> Reading parameters OK"_qs);
  EXPECT_EQ(Field(1040), u"°C"_qs);
  EXPECT_EQ(Undefined(), 52 - 19);  // the parameters and the operating hours

  Command(kCmdStartReadingVariables);
  int mostVariables = 0;
  int mostPause = 0;
  RunUntil(
      [&] {
        mostVariables = std::max(mostVariables, Bar(1078));
        mostPause = std::max(mostPause, Bar(1081));
        return false;
      },
      8000);
  EXPECT_EQ(mostVariables, 14);
  EXPECT_GT(mostPause, 1000);
  EXPECT_EQ(Undefined(), 3);  // the hidden ones
}

// The ranges are the controller's; the box itself refuses anything but a whole number and stays open.
TEST_F(MonitorWindowTest, InputBoxRefusesLettersAndStaysOpen) {
  Start();
  QString refusal;
  answers.Then([&](QWidget* box) {
    TypeAndPressOk(box, u"abc"_qs);  // the refusal box comes up and is answered inside this call
    TypeAndPressOk(box, u" 255 "_qs);
  });
  answers.ThenBox(QMessageBox::Ok, &refusal);
  Command(kCmdSetComPort);
  EXPECT_EQ(refusal, u"Geben Sie bitte eine ganze Zahl ein."_qs);
  EXPECT_EQ(Field(1073), u"255"_qs);
}

TEST_F(MonitorWindowTest, TheDeviceListFollowsThePlugsAndTheChoiceIsKept) {
  Start();
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
  ComDeviceMap nextRun(&comMappings);
  EXPECT_EQ(nextRun.Load(), "");
  EXPECT_EQ(nextRun.Resolve(1).path, adapter);

  qputenv("GELVAR_COM1", "/dev/ttyV1");
  QString note;
  answers.Then([&](QWidget* dialog) {
    note = Text(dialog, 1121);
    In<QPushButton>(dialog, 2)->click();
  });
  Command(kCmdChooseSerialDevice);
  qunsetenv("GELVAR_COM1");
  EXPECT_EQ(note, u"GELVAR_COM1 is set to /dev/ttyV1 and wins over the choice made here."_qs);

  Command(kCmdOpenComPort);
  Command(kCmdChooseSerialDevice);
  EXPECT_EQ(NewestMessage(), u"E> COM Port already open"_qs);
}

TEST_F(MonitorWindowTest, QuestionsGoOnOnlyAfterOk) {
  StartWithPortOpen();
  const struct {
    int command;
    QString question;
    QString dialogTitle;  // of the dialog that OK brings up
    bool sends;
  } cases[] = {
      {kCmdFactorySettings, u"Are you shure to reset all parameters to default values?"_qs, {}, true},
      {kCmdTestMonitor,
       u"The test monitor for moisture sensors should be used only by experienced engineers. Start it?"_qs,
       u"Gelvar Sensor Test Monitor"_qs, false},
      {kCmdProgramUpdate, u"Are you shure you really want to update the software of the detector unit?"_qs,
       u"Gelvar Software-Update"_qs, false},
  };
  for (const auto& c : cases) {
    const std::size_t requestsBefore = unit.Requests().size();
    QString question;
    answers.ThenBox(QMessageBox::Cancel, &question);
    Command(c.command);
    scheduler.AdvanceBy(2000);
    EXPECT_EQ(question, c.question);
    EXPECT_EQ(unit.Requests().size(), requestsBefore);

    QString title;
    answers.ThenBox(QMessageBox::Ok, &question);
    if (!c.dialogTitle.isEmpty()) {
      answers.Then([&](QWidget* dialog) {
        title = dialog->windowTitle();
        scheduler.AdvanceBy(2000);
        In<QPushButton>(dialog, 2)->click();
      });
    }
    Command(c.command);
    scheduler.AdvanceBy(2000);
    EXPECT_EQ(title, c.dialogTitle);
    EXPECT_EQ(unit.Requests().size() > requestsBefore, c.sends) << c.command;
  }
  EXPECT_EQ(NewestMessage(), u"I> Factory settings OK"_qs);
}

// A file dialog starts in the folder of the last file written, not of the last one chosen; it never
// reads a file to tell its type, so showing /proc (whose kmsg blocks any reader) leaves the program
// running. A failed write's box names the path and the reason.
TEST_F(MonitorWindowTest, FileDialogsStartWhereAFileWasWrittenAndReadNoFile) {
  Start();
  QTemporaryDir failed;
  QTemporaryDir written;
  files.unwritable.insert(LocalPath(QDir(failed.path()).filePath(u"Gelvar.par"_qs)));
  QStringList startFolders;
  const auto chooseIn = [&](const QString& folder) {
    answers.Then([&, folder](QWidget* dialog) {
      auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(fileDialog, nullptr);
      startFolders << fileDialog->directory().absolutePath();
      fileDialog->setDirectory(u"/proc"_qs);
      QTest::qWait(300);
      fileDialog->setDirectory(folder);
      fileDialog->selectFile(u"Gelvar.par"_qs);
      static_cast<QDialog*>(fileDialog)->accept();
    });
  };
  ::alarm(60);  // a frozen dialog ends the test run instead of hanging it
  QString box;
  chooseIn(failed.path());
  answers.ThenBox(QMessageBox::Ok, &box);
  Command(kCmdSaveParameters);
  chooseIn(written.path());
  Command(kCmdSaveParameters);
  chooseIn(written.path());
  Command(kCmdSaveParameters);
  ::alarm(0);
  ASSERT_EQ(startFolders.size(), 3);
  EXPECT_EQ(startFolders[1], startFolders[0]);
  EXPECT_EQ(startFolders[2], written.path());
  EXPECT_EQ(box, u"Error open parameter file: DateiParName\n"_qs + QDir(failed.path()).filePath(u"Gelvar.par"_qs) +
                     u": Read-only file system"_qs);
}

class SensorTestWindowTest : public WindowTest {
 protected:
  SensorTestWindowTest() { StartWithPortOpen(); }

  // Runs the window; `drive` works it while it is up, then Exit closes it.
  void RunWindow(const std::function<void(QWidget*)>& drive) {
    answers.Then([=](QWidget* dialog) {
      drive(dialog);
      In<QPushButton>(dialog, 2)->click();
    });
    sensorDialog.Run();
  }
};

TEST_F(SensorTestWindowTest, ButtonsWriteTheLogAndExitKeepsIt) {
  const struct {
    int button;
    QString logStart;
  } cases[] = {
      {1016, u"Temperature sensor 2: "_qs},
      {1010, u"Record sensor 1 started!"_qs},
      {1009, u"\n\nResistance Shunt - Rsh: "_qs},
  };
  RunWindow([&](QWidget* dialog) {
    for (const auto& c : cases) {
      In<QAbstractButton>(dialog, c.button)->click();
      EXPECT_TRUE(RunUntil([&] { return Text(dialog, 1008).startsWith(c.logStart); }, 400000))
          << c.logStart.toStdString();
    }
  });
  RunWindow([&](QWidget* dialog) { EXPECT_TRUE(Text(dialog, 1008).startsWith(cases[2].logStart)); });
}

// The ta field is checked as it is typed, the description kept in Windows-1252; the refreshes of a
// running step neither check ta again nor touch the field that has the focus.
TEST_F(SensorTestWindowTest, TypedFieldsAreTakenAsTypedAndARefreshLeavesThemAlone) {
  QString rangeMessage;
  RunWindow([&](QWidget* dialog) {
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
  });
  EXPECT_EQ(rangeMessage, u"Error: Allowed range 1...1000 s"_qs);
}

}  // namespace
}  // namespace gelvar::testing
