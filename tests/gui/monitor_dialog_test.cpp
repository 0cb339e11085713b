// The main window against the simulated unit: what it shows at start, its menu, the device
// commands through to the unit and back into the fields, and every question and input box.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "gui/monitor_window_fixture.h"
#include "monitor/device_model.h"

namespace gelvar::testing {
namespace {

// The parameter reader also reads the operating hours, shown among the variables.
constexpr int kParameterFieldIds[] = {1038, 1039, 1040, 1044, 1102, 1026, 1027, 1028, 1029, 1031,
                                      1030, 1032, 1033, 1034, 1035, 1036, 1037, 1100, 1101};
constexpr int kVariableFieldIds[] = {1042, 1043, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1071,
                                     1072, 1069, 1070, 1067, 1068, 1065, 1066, 1063, 1064, 1061, 1062,
                                     1059, 1060, 1053, 1054, 1055, 1056, 1057, 1058};

// One menu as "text=command" items and "-" for separators, mnemonics left out.
QString MenuText(const QMenu* menu) {
  QStringList items;
  for (const QAction* action : menu->actions()) {
    items << (action->isSeparator() ? QStringLiteral("-")
                                    : QString(action->text()).remove(u'&') + u'=' + action->data().toString());
  }
  return items.join(u'|');
}

TEST_F(MonitorWindowTest, StartsClosedWithEveryFieldUndefined) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Gelvar Monitor"));
  EXPECT_FALSE(window.windowIcon().isNull());
  EXPECT_EQ(Mode(), kPortClosed);
  for (const int id : DisplayFields::ControlIds()) {
    const auto* field = FindControl<QLineEdit>(&window, id);
    ASSERT_NE(field, nullptr) << id;
    EXPECT_EQ(field->text(), QStringLiteral("undef.")) << id;
    EXPECT_TRUE(field->isReadOnly()) << id;
  }
  for (const int hidden : {1041, 1076, 1083, 1092, 1093}) {
    EXPECT_FALSE(FindControl(&window, hidden)->isVisibleTo(&window)) << hidden;
  }
  EXPECT_TRUE(FindControl(&window, 1094)->isVisibleTo(&window));
  EXPECT_TRUE(FindControl(&window, 1030)->isVisibleTo(&window));
  EXPECT_EQ(Field(1073), QStringLiteral("1"));
  EXPECT_EQ(Field(1074), QStringLiteral("5"));
  EXPECT_EQ(Field(1075), QStringLiteral("0"));
  EXPECT_EQ(FindControl<QLabel>(&window, 1079)->text(), QStringLiteral("COM Port Closed"));
  EXPECT_EQ(FindControl<QLabel>(&window, 1080)->text(), QStringLiteral("No Logging"));
  EXPECT_TRUE(Pane().isEmpty());
  const struct {
    int id;
    int maximum;
  } ranges[] = {{1077, 17}, {1078, 14}, {1081, 2000}, {1084, 300}};
  for (const auto& range : ranges) {
    EXPECT_EQ(Bar(range.id)->minimum(), 0) << range.id;
    EXPECT_EQ(Bar(range.id)->maximum(), range.maximum) << range.id;
  }
}

TEST_F(MonitorWindowTest, MenuHasEveryItemSeparatorCommandAndMnemonic) {
  const QString expected[] = {
      u"Set COM Port=32810|Open COM-Port=32775|Close COM-Port=32776|-|Test Communication=32809|"
      u"Show Protocol Window=32784|-|Exit=32779"_qs,
      u"Start min. Heat Time=32798|Stop min. Heat Time=32799|-|Start Cycle Sensor 1=32800|"
      u"Start Cycle Sensor 2=32801|-|Factory Settings=32802"_qs,
      u"Read Parameters=32803|-|Save Parameters=32808"_qs,
      u"Start Reading Variables=32806|Stop Reading Variables=32807"_qs,
      u"Set Log Interval=32811|Open Log File=32772|-|Start Logging Variables=32804|Stop Logging Variables=32805"_qs,
      u"Test Monitor=32783|Program Update=32813"_qs,
      u"Show ReadMe=32812|About ...=32778"_qs,
  };
  const QStringList titles = {u"Communication"_qs, u"Commands"_qs, u"Parameters"_qs, u"Variables"_qs,
                              u"Logs"_qs,          u"Tools"_qs,    u"Help"_qs};
  const QList<QAction*> menus = window.findChild<QMenuBar*>()->actions();
  ASSERT_EQ(menus.size(), titles.size());
  QSet<QChar> mnemonics;
  for (qsizetype i = 0; i < menus.size(); ++i) {
    const QString title = menus[i]->text();
    EXPECT_EQ(QString(title).remove(u'&'), titles[i]);
    const qsizetype amp = title.indexOf(u'&');
    ASSERT_GE(amp, 0) << title.toStdString();
    mnemonics.insert(title[amp + 1].toLower());
    EXPECT_EQ(MenuText(menus[i]->menu()), expected[i]);
    for (const QAction* item : menus[i]->menu()->actions()) {
      EXPECT_TRUE(item->isSeparator() || item->text().contains(u'&')) << item->text().toStdString();
    }
  }
  EXPECT_EQ(mnemonics.size(), menus.size());
}

TEST_F(MonitorWindowTest, OpenTestAndReadParametersFillTheParameterFields) {
  OpenPort();
  EXPECT_EQ(NewestMessage(), QStringLiteral("I> COM Port Opened"));
  EXPECT_EQ(FindControl<QLabel>(&window, 1079)->text(), QStringLiteral("COM Port Open"));

  Command(kCmdTestCommunication);
  ASSERT_TRUE(RunUntilMessage(QStringLiteral("I> Communication OK")));
  for (const int id : kParameterFieldIds) EXPECT_EQ(Field(id), QStringLiteral("undef.")) << id;

  Command(kCmdReadParameters);
  EXPECT_EQ(Mode(), kReadingParameters);
  int mostShown = 0;
  ASSERT_TRUE(scheduler.RunUntil(
      [&] {
        mostShown = std::max(mostShown, Bar(1077)->value());
        return Mode() == kPortOpen;
      },
      20000));
  EXPECT_EQ(mostShown, 17);
  EXPECT_EQ(NewestMessage(), QStringLiteral("I> Reading parameters OK"));
  for (const int id : kParameterFieldIds) {
    EXPECT_NE(Field(id), QStringLiteral("undef.")) << id;
    EXPECT_EQ(Field(id), FromWindowsText(window.Controller().Fields().Text(id))) << id;
  }
  EXPECT_EQ(Field(1040), u"°C"_qs);
  for (const int id : kVariableFieldIds) EXPECT_EQ(Field(id), QStringLiteral("undef.")) << id;
}

TEST_F(MonitorWindowTest, ReadingVariablesFillsTheFieldsAndMovesTheBars) {
  OpenPort();
  Command(kCmdStartReadingVariables);
  EXPECT_EQ(NewestMessage(), QStringLiteral("I> Reading variables started"));
  // The bars follow the sequencer at every timer message, not only when the window is refreshed.
  int mismatches = 0;
  int mostVariables = 0;
  int mostPause = 0;
  scheduler.RunUntil(
      [&] {
        const ProgressValues& progress = window.Controller().Progress();
        mismatches += Bar(1078)->value() != progress.variables || Bar(1081)->value() != progress.pause;
        mostVariables = std::max(mostVariables, Bar(1078)->value());
        mostPause = std::max(mostPause, Bar(1081)->value());
        return false;
      },
      8000);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(mostVariables, 14);
  EXPECT_GT(mostPause, 1000);
  for (const int id : kVariableFieldIds) EXPECT_NE(Field(id), QStringLiteral("undef.")) << id;

  Command(kCmdStopReadingVariables);
  EXPECT_EQ(NewestMessage(), QStringLiteral("I> Reading variables stopped"));
  EXPECT_EQ(Mode(), kPortOpen);
}

// Types text into the open input box and presses OK.
void TypeAndPressOk(QWidget* box, const QString& text) {
  auto* edit = FindControl<QLineEdit>(box, 1087);
  edit->selectAll();
  QTest::keyClicks(edit, text);
  FindControl<QPushButton>(box, 1)->click();
}

TEST_F(MonitorWindowTest, InputBoxSetsComPortAndLogIntervalWithinTheirRanges) {
  const struct {
    int command;
    QString typed;  // empty: Cancel
    int field;
    QString shown;
    int loggingRange;
  } cases[] = {
      {kCmdSetComPort, u"3"_qs, 1073, u"3"_qs, 300},     {kCmdSetComPort, u"0"_qs, 1073, u"3"_qs, 300},
      {kCmdSetComPort, u"256"_qs, 1073, u"3"_qs, 300},   {kCmdSetComPort, u"255"_qs, 1073, u"255"_qs, 300},
      {kCmdSetComPort, QString(), 1073, u"255"_qs, 300}, {kCmdSetLogInterval, u"61"_qs, 1074, u"5"_qs, 300},
      {kCmdSetLogInterval, u"0"_qs, 1074, u"5"_qs, 300}, {kCmdSetLogInterval, u"10"_qs, 1074, u"10"_qs, 600},
      {kCmdSetLogInterval, u" 60 "_qs, 1074, u"60"_qs, 3600},
  };
  for (const auto& c : cases) {
    answers.Then([&](QWidget* box) {
      auto* edit = FindControl<QLineEdit>(box, 1087);
      EXPECT_EQ(edit->selectedText(), Field(c.field)) << "the current value is shown, all selected";
      if (c.typed.isEmpty()) return FindControl<QPushButton>(box, 2)->click();
      TypeAndPressOk(box, c.typed);
    });
    Command(c.command);
    EXPECT_EQ(Field(c.field), c.shown) << c.typed.toStdString();
    EXPECT_EQ(Bar(1084)->maximum(), c.loggingRange) << c.typed.toStdString();
  }
  EXPECT_EQ(window.Controller().ComPortNumber(), 255);
  EXPECT_TRUE(Pane().isEmpty());
}

TEST_F(MonitorWindowTest, InputBoxRefusesLettersAndStaysOpen) {
  QString prompt;
  QString refusal;
  bool stayedOpen = false;
  answers.Then([&](QWidget* box) {
    prompt = FindControl<QLabel>(box, 1085)->text();
    TypeAndPressOk(box, u"abc"_qs);  // the refusal box comes up and is answered inside this call
    stayedOpen = box->isVisible();
    EXPECT_EQ(FindControl<QLineEdit>(box, 1087)->selectedText(), QStringLiteral("abc"));
    TypeAndPressOk(box, u"7"_qs);
  });
  answers.ThenBox(QMessageBox::Ok, &refusal);
  Command(kCmdSetComPort);
  EXPECT_EQ(prompt, QStringLiteral("Set COM Port (1..255):"));
  EXPECT_EQ(refusal, QStringLiteral("Geben Sie bitte eine ganze Zahl ein."));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(Field(1073), QStringLiteral("7"));
}

TEST_F(MonitorWindowTest, SetComPortWithThePortOpenOnlyComplains) {
  OpenPort();
  Command(kCmdSetComPort);  // no box: ModalAnswers would fail on one
  EXPECT_EQ(NewestMessage(), QStringLiteral("E> COM Port already open"));
}

TEST_F(MonitorWindowTest, FactorySettingsRunsOnlyAfterOk) {
  OpenPort();
  const QString paneBefore = Pane();
  QString question;
  QMessageBox::Icon icon{};
  QMessageBox::StandardButton defaultButton{};
  answers.ThenBox(QMessageBox::Cancel, &question, &icon, &defaultButton);
  Command(kCmdFactorySettings);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(question, QStringLiteral("Are you shure to reset all parameters to default values?"));
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(defaultButton, QMessageBox::Ok);
  EXPECT_FALSE(UnitWasAskedFor(kIdFactorySettings));
  EXPECT_EQ(Pane(), paneBefore);

  answers.ThenBox(QMessageBox::Ok);
  Command(kCmdFactorySettings);
  EXPECT_TRUE(RunUntilMessage(QStringLiteral("I> Factory settings OK")));
  EXPECT_TRUE(UnitWasAskedFor(kIdFactorySettings));
}

TEST_F(MonitorWindowTest, TestMonitorAsksFirstAndRunsTheSensorTestModally) {
  Command(kCmdTestMonitor);
  EXPECT_EQ(NewestMessage(), QStringLiteral("E> COM Port NOT Open"));
  OpenPort();

  QString question;
  QMessageBox::Icon icon{};
  QMessageBox::StandardButton defaultButton{};
  answers.ThenBox(QMessageBox::Cancel, &question, &icon, &defaultButton);
  Command(kCmdTestMonitor);
  EXPECT_EQ(question,
            QStringLiteral("The test monitor for moisture sensors should be used only by experienced engineers. Start it?"));
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(defaultButton, QMessageBox::Cancel);

  QString logLine;
  answers.ThenBox(QMessageBox::Ok);
  answers.Then([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Gelvar Sensor Test Monitor"));
    FindControl<QPushButton>(dialog, 1015)->click();
    scheduler.RunUntil([&] { return !FindControl<QPlainTextEdit>(dialog, 1008)->toPlainText().isEmpty(); }, 10000);
    logLine = FindControl<QPlainTextEdit>(dialog, 1008)->toPlainText().trimmed();
    FindControl<QPushButton>(dialog, 2)->click();
  });
  Command(kCmdTestMonitor);
  EXPECT_TRUE(logLine.startsWith(QStringLiteral("Temperature sensor 1: "))) << logLine.toStdString();
  EXPECT_TRUE(logLine.endsWith(u" °C"_qs)) << logLine.toStdString();
}

TEST_F(MonitorWindowTest, ProgramUpdateAsksThenShowsADialogThatSendsNothing) {
  Command(kCmdProgramUpdate);
  EXPECT_EQ(NewestMessage(), QStringLiteral("E> COM Port NOT Open"));
  OpenPort();
  const QString paneBefore = Pane();
  const std::size_t bytesBefore = line.Written().size();

  QString question;
  QMessageBox::Icon icon{};
  QMessageBox::StandardButton defaultButton{};
  answers.ThenBox(QMessageBox::Ok, &question, &icon, &defaultButton);
  bool openedNothing = false;
  answers.Then([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Gelvar Software-Update"));
    EXPECT_EQ(FindControl<QPushButton>(dialog, 1)->text(), QStringLiteral("OK"));
    EXPECT_EQ(FindControl<QPushButton>(dialog, 1018)->text(), u"Update-Datei öffnen"_qs);
    FindControl<QPushButton>(dialog, 1018)->click();
    openedNothing = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
    scheduler.AdvanceBy(1000);
    FindControl<QPushButton>(dialog, 2)->click();
  });
  Command(kCmdProgramUpdate);
  EXPECT_EQ(question, QStringLiteral("Are you shure you really want to update the software of the detector unit?"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(defaultButton, QMessageBox::Cancel);
  EXPECT_TRUE(openedNothing);
  EXPECT_EQ(line.Written().size(), bytesBefore);
  EXPECT_EQ(Pane(), paneBefore);
  EXPECT_EQ(Mode(), kPortOpen);
}

// Answers the next file dialog with `name` in `folder`, after checking what it offers.
void ChooseFileIn(ModalAnswers& answers, const QString& folder, const QString& name, QFileDialog::AcceptMode mode,
                  const QString& defaultName, const QString& suffix) {
  answers.ThenFile(folder, name, [=](QFileDialog* dialog) {
    EXPECT_EQ(dialog->acceptMode(), mode);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog->defaultSuffix(), suffix);
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), defaultName);
  });
}

TEST_F(MonitorWindowTest, SaveParametersAppendsToTheChosenFileWithItsExtension) {
  QTemporaryDir folder;
  ChooseFileIn(answers, folder.path(), u"unit7"_qs, QFileDialog::AcceptSave, u"Gelvar.par"_qs, u"par"_qs);
  Command(kCmdSaveParameters);
  const std::string path = LocalPath(QDir(folder.path()).filePath(u"unit7.par"_qs));
  ASSERT_EQ(files.files.count(path), 1u);
  EXPECT_EQ(files.files[path].rfind("Parameter Gelvar recorded ", 0), 0u);
  EXPECT_EQ(NewestMessage(), FromPathText("I> Parameters stored in file ' " + path + " '"));
}

TEST_F(MonitorWindowTest, LoggingShowsItsStateAndALostRecordInRed) {
  OpenPort();
  Command(kCmdStartReadingVariables);
  QTemporaryDir folder;
  ChooseFileIn(answers, folder.path(), u"new-log"_qs, QFileDialog::AcceptOpen, u"Gelvar.log"_qs, u"log"_qs);
  Command(kCmdOpenLogFile);
  const std::string path = LocalPath(QDir(folder.path()).filePath(u"new-log.log"_qs));
  ASSERT_TRUE(window.Controller().LogFileChosen());
  EXPECT_EQ(window.Controller().LogFileName(), path);

  Command(kCmdStartLogging);
  EXPECT_EQ(NewestMessage(), QStringLiteral("I> Logging started"));
  const auto* status = FindControl<QLabel>(&window, 1080);
  EXPECT_EQ(status->text(), QStringLiteral("Logging Activ"));
  ASSERT_TRUE(scheduler.RunUntil([&] { return Field(1075) == QStringLiteral("1"); }, 10000));
  const QString activeStyle = status->styleSheet();

  files.unwritable.insert(path);
  ASSERT_TRUE(scheduler.RunUntil([&] { return Field(1075) == QStringLiteral("2"); }, 6 * 60 * 1000));
  EXPECT_EQ(status->text(), QStringLiteral("Last record failed"));
  EXPECT_NE(status->styleSheet(), activeStyle);

  Command(kCmdStopLogging);
  EXPECT_EQ(status->text(), QStringLiteral("No Logging"));
  EXPECT_EQ(status->styleSheet(), QString());
}

TEST_F(MonitorWindowTest, ALostDeviceShowsInRedUntilItIsBack) {
  OpenPort();
  const auto* status = FindControl<QLabel>(&window, 1079);
  const QString openStyle = status->styleSheet();
  line.Unplug();
  ASSERT_TRUE(scheduler.RunUntil([&] { return status->text() == QStringLiteral("COM Port Lost"); }, 5000));
  EXPECT_NE(status->styleSheet(), openStyle);
  line.PlugIn();
  ASSERT_TRUE(scheduler.RunUntil([&] { return status->text() == QStringLiteral("COM Port Open"); }, 10000));
  EXPECT_EQ(status->styleSheet(), openStyle);
}

TEST_F(MonitorWindowTest, AboutShowsVersionAndBuild) {
  QString build;
  QString texts;
  answers.Then([&](QWidget* about) {
    EXPECT_EQ(about->windowTitle(), QStringLiteral("Info"));
    build = FindControl<QLabel>(about, 1094)->text();
    for (const QLabel* label : about->findChildren<QLabel*>()) texts += label->text() + u'\n';
    FindControl<QPushButton>(about, 1)->click();
  });
  Command(kCmdAbout);
  EXPECT_EQ(build, QStringLiteral("Build-82-50 O-1-1"));
  EXPECT_TRUE(texts.contains(QStringLiteral("Gelvar Monitor Version 1.0"))) << texts.toStdString();
}

// Takes the file URLs that Show ReadMe hands to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

TEST_F(MonitorWindowTest, ShowReadMeOpensTheFileOfTheCurrentFolderOrNamesWhereItLooked) {
  QTemporaryDir folder;
  const QString startFolder = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder.path()));
  UrlCatcher catcher;

  QString missing;
  answers.ThenBox(QMessageBox::Ok, &missing);
  Command(kCmdShowReadMe);
  EXPECT_TRUE(catcher.opened.isEmpty());
  EXPECT_TRUE(missing.contains(QDir::toNativeSeparators(QDir(folder.path()).filePath(u"ReadMe.txt"_qs))))
      << missing.toStdString();

  QFile readMe(QDir(folder.path()).filePath(u"ReadMe.txt"_qs));
  ASSERT_TRUE(readMe.open(QIODevice::WriteOnly));
  readMe.close();
  Command(kCmdShowReadMe);
  ASSERT_EQ(catcher.opened.size(), 1);
  EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(QDir(folder.path()).filePath(u"ReadMe.txt"_qs)));
  QDir::setCurrent(startFolder);
}

TEST_F(MonitorWindowTest, EscapeKeepsTheWindowAndExitClosesPortAndWindow) {
  OpenPort();
  QSignalSpy finished(&window, &QDialog::finished);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&window, &escape);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(finished.count(), 0);

  Command(kCmdExit);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(line.IsOpen());
}

}  // namespace
}  // namespace gelvar::testing

#include "monitor_dialog_test.moc"
