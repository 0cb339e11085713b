#include "gui/monitor/monitor_dialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <span>

#include "core/monitor/parameter_report.h"
#include "core/monitor/variable_log.h"
#include "core/serial/com_devices.h"
#include "gui/monitor/about_dialog.h"
#include "gui/monitor/device_chooser_dialog.h"
#include "gui/monitor/field_controls.h"
#include "gui/monitor/input_dialog.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/tools/protocol_window.h"
#include "gui/ui/backed_progress_bar.h"
#include "gui/ui/tone_player.h"
#include "gui/ui/widget_support.h"
#include "gui/update/update_dialog.h"

namespace gelvar {
namespace {

enum : int {
  kIdLogSetCounter = 1075,
  kIdIdleSensorLabel = 1092,
  kIdIdleGroupSensor = 1093,
  kIdIdleGroupHeating = 1094,
};

// ---- Menu ----

struct MenuItem {
  const char* text;  // null: a separator
  int command;
  const char* hint;
};

struct Menu {
  const char* title;
  std::span<const MenuItem> items;
};

constexpr MenuItem kSeparator{nullptr, 0, nullptr};

constexpr MenuItem kCommunication[] = {
    {"&Set COM Port", kCmdSetComPort, "Choose the COM port number (1..255); only while the port is closed."},
    {"Choose Serial &Device...", kCmdChooseSerialDevice,
     "Choose the serial device behind the COM port number; remembered for the next runs."},
    {"&Open COM-Port", kCmdOpenComPort, "Open the COM port at 19200 baud, 8N1."},
    {"&Close COM-Port", kCmdCloseComPort, "Close the COM port; only while nothing is being read."},
    kSeparator,
    {"&Test Communication", kCmdTestCommunication, "Ask the unit for one object: does it answer?"},
    {"Show &Protocol Window", kCmdShowProtocolWindow, "Show every frame on the line, sent and received."},
    kSeparator,
    {"E&xit", kCmdExit, "Close the COM port and end the program."},
};
constexpr MenuItem kCommands[] = {
    {"&Start min. Heat Time", kCmdStartMinHeatTime, "Switch the heating on for its minimum heating time."},
    {"S&top min. Heat Time", kCmdStopMinHeatTime, "End a running minimum heating time."},
    kSeparator,
    {"Start Cycle Sensor &1", kCmdStartCycleSensor1, "Start a moisture measuring cycle of sensor 1."},
    {"Start Cycle Sensor &2", kCmdStartCycleSensor2, "Start a moisture measuring cycle of sensor 2."},
    kSeparator,
    {"&Factory Settings", kCmdFactorySettings, "Reset every parameter of the unit to its default (asks first)."},
};
constexpr MenuItem kParameters[] = {
    {"&Read Parameters", kCmdReadParameters, "Read every parameter of the unit once."},
    kSeparator,
    {"&Save Parameters", kCmdSaveParameters, "Append the parameters shown to a report file (Gelvar.par)."},
};
constexpr MenuItem kVariables[] = {
    {"&Start Reading Variables", kCmdStartReadingVariables, "Read the variables over and over, every 2 s."},
    {"S&top Reading Variables", kCmdStopReadingVariables, "Stop reading the variables (stop logging first)."},
    kSeparator,
    {"Show T&rend", kCmdShowTrend, "Draw the variables read since the program started over time."},
};
constexpr MenuItem kLogs[] = {
    {"Set Log &Interval", kCmdSetLogInterval, "Minutes between two log records (1..60)."},
    {"&Open Log File", kCmdOpenLogFile, "Choose the log file (Gelvar.log); records are appended to it."},
    kSeparator,
    {"&Start Logging Variables", kCmdStartLogging, "Write one record per interval while variables are read."},
    {"S&top Logging Variables", kCmdStopLogging, "Stop logging; the next run needs Open Log File again."},
    kSeparator,
    {"&Plot Log File...", kCmdPlotLogFile, "Draw a log file (of this program or the Windows program) over time."},
};
constexpr MenuItem kTools[] = {
    {"Test &Monitor", kCmdTestMonitor, "Sensor test: temperatures, measuring cycles, recorded data, report."},
    {"Program &Update", kCmdProgramUpdate, "Software update of the detector unit."},
};
constexpr MenuItem kHelp[] = {
    {"Show &ReadMe", kCmdShowReadMe, "Open ReadMe.txt, the program's help."},
    {"&About ...", kCmdAbout, "Version and build of the program."},
};

constexpr Menu kMenus[] = {
    {"&Communication", kCommunication},
    {"Co&mmands", kCommands},
    {"&Parameters", kParameters},
    {"&Variables", kVariables},
    {"&Logs", kLogs},
    {"&Tools", kTools},
    {"&Help", kHelp},
};

// ---- Value fields ----

struct FieldRow {
  const char* label;
  int field;  // sensor 1's field in a sensor group; sensor 2's is the next number
  bool hidden = false;
  int labelId = 0;
};

// The three columns of both the Parameters and the Variables group, left to right.
enum Column { kAdministrationColumn, kHeatingColumn, kSensorColumn, kColumnCount };

struct FieldGroup {
  const char* title;
  std::span<const FieldRow> rows;
  Column column;
  bool perSensor = false;
  int groupId = 0;
};

constexpr FieldRow kParamAdministration[] = {
    {"Mode System", kFieldModeSystem}, {"Language", kFieldLanguage},    {"Temp. Unit", kFieldTempUnit},
    {"Version/Build", kFieldVersion},  {"Alarm Mode", kFieldAlarmMode},
};
constexpr FieldRow kParamHeating[] = {
    {"Mode Heating", kFieldModeHeating},         {"Min. Heating Time", kFieldMinHeatingTime},
    {"High Temp. Limit", kFieldHighTempLimit},   {"Low Temp. Limit", kFieldLowTempLimit},
    {"Moisture Limit", kFieldHeatingMoistLimit},
};
constexpr FieldRow kParamHeatingIdle[] = {{"Idle Temperature", kFieldIdleTemp}};
constexpr FieldRow kParamSensor[] = {
    {"Type", kFieldSensorType}, {"Mode Sensor", kFieldSensorMode}, {"Moisture Limit", kFieldSensorMoistLimit}};
// Nothing fills this group; it stays hidden.
constexpr FieldRow kParamSensorIdle[] = {{"Low Temp. Limit", kFieldIdleLowTempLimit, true, kIdIdleSensorLabel}};

constexpr FieldRow kVarAdministration[] = {
    {"Error Flags", kFieldAdmErrorFlags},
    {"Internal State", kFieldInternalState},
    {"State Control", kFieldStateControl, true},
    {"State Display", kFieldStateDisplay, true},
};
constexpr FieldRow kVarOperatingHours[] = {{"erasable", kFieldOpHours}, {"non-erasable", kFieldOpHoursXWK}};
constexpr FieldRow kVarHeating[] = {
    {"State Heating", kFieldHeatingState},   {"Error Flags", kFieldHeatingErrorFlags},
    {"Temp. Flags", kFieldHeatingTempFlags}, {"Moisture Flags", kFieldHeatingMoistFlags},
    {"Slab/Gutt. Temp.", kFieldSlabTemp},    {"Outdoor Temp.", kFieldOutdoorTemp},
    {"Rem. Heat. Time", kFieldRemHeatTime},  {"Heating Relay", kFieldHeatingRelay},
};
constexpr FieldRow kVarSensor[] = {
    {"State Sensor", kFieldSensorState},
    {"Error Flags", kFieldSensorErrorFlags},
    {"Sensor Flags", kFieldSensorFlags},
    {"Sensor Temp.", kFieldSensorTemp},
    {"Ambient Temp.", kFieldSensorAmbientTemp},
    {"Last Moisture", kFieldSensorLastMoisture},
    {"Inhibit Time Moist.", kFieldSensorInhibitMoist},
    {"Inhibit Time Temp.", kFieldSensorInhibitTemp},
    {"Internal Voltage", kFieldSensorVoltage},
    {"Charact. Value", kFieldSensorCharValue},
};

const FieldGroup kParamGroups[] = {
    {"Administration", kParamAdministration, kAdministrationColumn},
    {"Heating", kParamHeating, kHeatingColumn},
    {"Idle", kParamHeatingIdle, kHeatingColumn, false, kIdIdleGroupHeating},
    {"Sensor", kParamSensor, kSensorColumn, true},
    {"Idle", kParamSensorIdle, kSensorColumn, false, kIdIdleGroupSensor},
};
const FieldGroup kVarGroups[] = {
    {"Administration", kVarAdministration, kAdministrationColumn},
    {"Operating Hours", kVarOperatingHours, kAdministrationColumn},
    {"Heating", kVarHeating, kHeatingColumn},
    {"Sensor", kVarSensor, kSensorColumn, true},
};

// The longest text a field of each column shows, so that no value is ever cut.
constexpr const char* kWidestValue[kColumnCount] = {"00.00 B0000", "Heating min.Time", "Error Moist./Temp.ok"};
constexpr int kFieldPadding = 16;  // frame and inner margins of a line edit
constexpr int kRowGap = 2;

// Label and field widths per column, the same in the Parameters and the Variables group, so that
// the fields of both groups stand in one line.
struct ColumnWidths {
  int label[kColumnCount] = {};
  int field[kColumnCount] = {};
};

ColumnWidths MeasureColumns(const QFontMetrics& metrics) {
  ColumnWidths widths;
  for (const auto& groups : {std::span<const FieldGroup>(kParamGroups), std::span<const FieldGroup>(kVarGroups)}) {
    for (const FieldGroup& group : groups) {
      for (const FieldRow& row : group.rows) {
        int& label = widths.label[group.column];
        label = std::max(label, metrics.horizontalAdvance(QString::fromLatin1(row.label)));
      }
    }
  }
  for (int column = 0; column < kColumnCount; ++column) {
    widths.field[column] = metrics.horizontalAdvance(QString::fromLatin1(kWidestValue[column])) + kFieldPadding;
  }
  return widths;
}

QLineEdit* NewReadOnlyField(QWidget* parent, int controlId) {
  auto* field = Numbered(new QLineEdit(parent), controlId);
  field->setReadOnly(true);
  return field;
}

QGroupBox* BuildFieldGroup(const FieldGroup& group, const ColumnWidths& widths, std::map<int, QLineEdit*>& fields) {
  auto* box = new QGroupBox(QString::fromLatin1(group.title));
  box->setFlat(true);  // a heading line: frames inside frames would crowd the window
  if (group.groupId != 0) Numbered(box, group.groupId);
  auto* grid = new QGridLayout(box);
  // Rows close together: the whole window fits a laptop's screen.
  const QMargins margins = grid->contentsMargins();
  grid->setContentsMargins(margins.left(), kRowGap, margins.right(), kRowGap);
  grid->setVerticalSpacing(kRowGap);
  grid->setColumnMinimumWidth(0, widths.label[group.column]);
  int row = 0;
  const int sensors = group.perSensor ? 2 : 1;
  if (group.perSensor) {
    for (int sensor = 0; sensor < sensors; ++sensor) {
      grid->addWidget(new QLabel(QStringLiteral("Sensor %1").arg(sensor + 1), box), row, 1 + sensor, Qt::AlignHCenter);
    }
    ++row;
  }
  for (const FieldRow& fieldRow : group.rows) {
    auto* label = new QLabel(QString::fromLatin1(fieldRow.label), box);
    if (fieldRow.labelId != 0) Numbered(label, fieldRow.labelId);
    label->setHidden(fieldRow.hidden);
    grid->addWidget(label, row, 0);
    for (int sensor = 0; sensor < sensors; ++sensor) {
      QLineEdit* field = NewReadOnlyField(box, fieldRow.field + sensor);
      field->setFixedWidth(widths.field[group.column]);
      field->setHidden(fieldRow.hidden);
      grid->addWidget(field, row, 1 + sensor);
      fields[fieldRow.field + sensor] = field;
    }
    ++row;
  }
  grid->setRowStretch(row, 1);  // rows stay at the top when the column is taller
  return box;
}

// Stacks the groups of each column; returns the grid, whose next free row is `rows`.
QGridLayout* BuildColumns(std::span<const FieldGroup> groups, const ColumnWidths& widths,
                          std::map<int, QLineEdit*>& fields, QGroupBox* parent, int& rows) {
  auto* grid = new QGridLayout(parent);
  int nextRow[kColumnCount] = {};
  for (const FieldGroup& group : groups) {
    grid->addWidget(BuildFieldGroup(group, widths, fields), nextRow[group.column]++, group.column);
  }
  rows = *std::max_element(std::begin(nextRow), std::end(nextRow));
  // A column with fewer groups lets its last one reach down to the progress bars.
  for (int column = 0; column < kColumnCount; ++column) {
    if (nextRow[column] < rows) {
      QLayoutItem* last = grid->itemAtPosition(nextRow[column] - 1, column);
      QWidget* widget = last->widget();
      grid->removeWidget(widget);
      grid->addWidget(widget, nextRow[column] - 1, column, rows - nextRow[column] + 1, 1);
    }
  }
  return grid;
}

QProgressBar* AddProgress(QGridLayout* grid, int row, int column, const char* label, int controlId, const char* hint,
                          int columnSpan = 1) {
  auto* cell = new QHBoxLayout;
  auto* caption = new QLabel(QString::fromLatin1(label));
  auto* bar = Numbered(new BackedProgressBar, controlId);
  bar->setTextVisible(false);
  bar->setToolTip(QString::fromLatin1(hint));
  caption->setToolTip(bar->toolTip());
  cell->addWidget(caption);
  cell->addWidget(bar, 1);
  grid->addLayout(cell, row, column, 1, columnSpan);
  return bar;
}

void SetRange(QProgressBar* bar, int maximum) {
  if (bar->maximum() != maximum) bar->setRange(0, maximum);
}

// A status text in its colour: green while the port is open or a log runs, red when the device
// has gone or a log record was lost.
void ShowStatusText(QLabel* label, StatusText status) {
  label->setText(FromWindowsText(status.text));
  QString styleSheet;
  switch (status.kind) {
    case StatusKind::kPlain: break;
    case StatusKind::kGood: styleSheet = QStringLiteral("color: #1a7f37; font-weight: bold;"); break;
    case StatusKind::kFault: styleSheet = QStringLiteral("color: #c62828; font-weight: bold;"); break;
  }
  if (label->styleSheet() != styleSheet) label->setStyleSheet(styleSheet);
}

QString ComPortHint(const ComDeviceMap& devices, int portNumber) {
  return QFile::decodeName(DescribeComDevice(portNumber, devices.Resolve(portNumber)).c_str());
}

}  // namespace

MonitorDialog::MonitorDialog(Link& link, TimerHost& timers, FileAppender& files, TonePlayer& tones,
                             const Windows& windows)
    : tones_(tones), windows_(windows), monitor_(link, *this, timers, files) {
  setWindowTitle(QString::fromLatin1(kAppTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowMinimizeButtonHint);

  auto* menuBar = new QMenuBar(this);
  BuildMenu(menuBar);
  // Every field has the width of its widest value. A window smaller than that, on a small screen or
  // with large text, scrolls instead of cutting fields off.
  content_ = new QWidget;
  auto* right = new QVBoxLayout;
  right->addWidget(BuildParameters());
  right->addWidget(BuildVariables(), 1);
  auto* columns = new QHBoxLayout(content_);
  columns->addWidget(BuildMonitorColumn());
  columns->addLayout(right, 1);
  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(content_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(menuBar);
  layout->addWidget(scroll);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    stalePalette_.setColor(group, QPalette::Text, palette().color(QPalette::Disabled, QPalette::Text));
  }
  monitor_.AddListener(*this);
  windows_.protocol.SetLineObserver(&monitor_);
  Refresh();
}

MonitorDialog::~MonitorDialog() {
  windows_.protocol.SetLineObserver(nullptr);
  monitor_.RemoveListener(*this);
}

void MonitorDialog::Open() {
  monitor_.Start();
  FitScreen();
  show();
}

// As large as every field needs, where the screen has room for that, with room left for the title bar.
void MonitorDialog::FitScreen() {
  const QSize wanted = content_->sizeHint() + QSize(0, layout()->menuBar()->sizeHint().height());
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  resize(wanted.boundedTo(screen()->availableGeometry().size() - QSize(0, titleBar)));
}

void MonitorDialog::BuildMenu(QMenuBar* menuBar) {
  for (const Menu& menu : kMenus) {
    QMenu* popup = menuBar->addMenu(QString::fromLatin1(menu.title));
    popup->setToolTipsVisible(true);
    for (const MenuItem& item : menu.items) {
      if (item.text == nullptr) {
        popup->addSeparator();
        continue;
      }
      QAction* action = popup->addAction(QString::fromLatin1(item.text));
      action->setData(item.command);
      action->setToolTip(QString::fromLatin1(item.hint));
      const int command = item.command;
      connect(action, &QAction::triggered, this, [this, command] {
        if (!RunCommand(command) && otherCommands_) otherCommands_(command);
      });
    }
  }
}

QWidget* MonitorDialog::BuildMonitorColumn() {
  auto* box = new QGroupBox(QStringLiteral("Monitor"));
  auto* grid = new QGridLayout(box);
  grid->addWidget(new QLabel(QStringLiteral("Messages:")), 0, 0, 1, 2);
  pane_ = Numbered(new QPlainTextEdit(box), kMessagePane);
  pane_->setReadOnly(true);
  pane_->setToolTip(QStringLiteral("Newest message on top. I> information, E> error."));
  // Wide enough for the longer messages on one line.
  pane_->setMinimumWidth(
      pane_->fontMetrics().horizontalAdvance(QStringLiteral("E> Reading variables already started")) +
      2 * kFieldPadding);
  grid->addWidget(pane_, 1, 0, 1, 2);
  grid->setRowStretch(1, 1);

  const auto addNumber = [&](int row, const char* label, int controlId) {
    grid->addWidget(new QLabel(QString::fromLatin1(label)), row, 0);
    QLineEdit* field = NewReadOnlyField(box, controlId);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + kFieldPadding);
    grid->addWidget(field, row, 1, Qt::AlignLeft);
    return field;
  };
  const auto addStatus = [&](int row, int controlId) {
    auto* status = Numbered(new QLabel(box), controlId);
    grid->addWidget(status, row, 0, 1, 2);
    return status;
  };
  comPort_ = addNumber(2, "COM Port:", kComPortNumber);
  comStatus_ = addStatus(3, kStatusComPort);
  logMinutes_ = addNumber(4, "Log   [min]", kLogMinutes);
  logMinutes_->setToolTip(QStringLiteral("Minutes between two log records (Logs > Set Log Interval)."));
  logStatus_ = addStatus(5, kStatusLogging);
  logSetCounter_ = addNumber(6, "Log Set #", kIdLogSetCounter);
  logSetCounter_->setToolTip(QStringLiteral("Number of the last record of this logging run."));
  return box;
}

QWidget* MonitorDialog::BuildParameters() {
  auto* box = new QGroupBox(QStringLiteral("Parameters"));
  int rows = 0;
  QGridLayout* grid = BuildColumns(kParamGroups, MeasureColumns(fontMetrics()), fields_, box, rows);
  progress_.parameters = AddProgress(grid, rows, kAdministrationColumn, "Reading Parameters:", kProgressParameters,
                                     "Parameters read so far.", kColumnCount);
  // The "Idle" group of the sensors has nothing to show.
  FindControl(box, kIdIdleGroupSensor)->setHidden(true);
  return box;
}

QWidget* MonitorDialog::BuildVariables() {
  auto* box = new QGroupBox(QStringLiteral("Variables"));
  int rows = 0;
  QGridLayout* grid = BuildColumns(kVarGroups, MeasureColumns(fontMetrics()), fields_, box, rows);
  progress_.variables = AddProgress(grid, rows, kAdministrationColumn, "Reading Variables:", kProgressVariables,
                                    "Variables read in this pass.");
  progress_.pause = AddProgress(grid, rows, kHeatingColumn, "Interval Variables:", kProgressPause,
                                "Pause before the next pass of the variables (2 s).");
  progress_.logging =
      AddProgress(grid, rows, kSensorColumn, "Interval Logging:", kProgressLogging, "Time to the next log record.");
  return box;
}

void MonitorDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MonitorDialog::Refresh() {
  // A step changes a field or two: only those are converted and written.
  const DisplayFields& values = monitor_.Fields();
  for (const auto& [controlId, field] : fields_) {
    const ShownField now{ControlText(values, controlId), ControlStale(values, controlId)};
    const auto [shown, first] = shownFields_.try_emplace(controlId, now);
    if (!first && shown->second == now) continue;
    shown->second = now;
    ShowField(field, now);
  }
  if (shownPane_ != monitor_.MessageText()) {
    shownPane_ = monitor_.MessageText();
    pane_->setPlainText(WithQtLineEnds(FromPathText(shownPane_)));
  }

  const int portNumber = monitor_.ComPortNumber();
  ShowText(comPort_, QString::number(portNumber));
  comPort_->setToolTip(ComPortHint(windows_.deviceChooser.Devices(), portNumber));
  ShowText(logMinutes_, QString::number(monitor_.LogMinutes()));
  ShowText(logSetCounter_, QString::number(monitor_.LogSetCounter()));
  ShowStatusText(comStatus_, monitor_.ComStatus());
  ShowStatusText(logStatus_, monitor_.LogStatus());

  const ProgressRanges ranges = monitor_.ProgressRange();
  SetRange(progress_.parameters, ranges.parameters);
  SetRange(progress_.variables, ranges.variables);
  SetRange(progress_.pause, ranges.pause);
  SetRange(progress_.logging, ranges.logging);
  ProgressChanged();
}

void MonitorDialog::ShowField(QLineEdit* field, const ShownField& shown) {
  ShowText(field, FromWindowsText(shown.text));
  field->setPalette(shown.stale ? stalePalette_ : QPalette());
}

void MonitorDialog::ProgressChanged() {
  const ProgressValues& values = monitor_.Progress();
  progress_.parameters->setValue(values.parameters);
  progress_.variables->setValue(values.variables);
  progress_.pause->setValue(values.pause);
  progress_.logging->setValue(values.logging);
}

bool MonitorDialog::RunCommand(int command) {
  using Box = QMessageBox;
  switch (command) {
    case kCmdSetComPort: monitor_.SetComPort(AskNumber("Set COM Port (1..255):", monitor_.ComPortNumber())); break;
    case kCmdChooseSerialDevice: ChooseSerialDevice(); break;
    case kCmdOpenComPort: monitor_.OpenPort(); break;
    case kCmdCloseComPort: monitor_.ClosePort(); break;
    case kCmdTestCommunication: monitor_.TestCommunication(); break;
    case kCmdShowProtocolWindow: ShowProtocolWindow(); break;
    case kCmdExit: Exit(); break;
    case kCmdStartMinHeatTime: monitor_.StartMinHeatTime(); break;
    case kCmdStopMinHeatTime: monitor_.StopMinHeatTime(); break;
    case kCmdStartCycleSensor1: monitor_.StartMoistureCycle(0); break;
    case kCmdStartCycleSensor2: monitor_.StartMoistureCycle(1); break;
    case kCmdFactorySettings:
      monitor_.FactorySettings(AskOkCancel(kFactorySettingsQuestion, Box::Question, Box::Ok));
      break;
    case kCmdReadParameters: monitor_.ReadParameters(); break;
    case kCmdSaveParameters:
      ShowFileError(
          monitor_.SaveParameters(ChooseFile(FileAccess::kSave, kReportDefaultName, kReportDefaultExtension)));
      break;
    case kCmdStartReadingVariables: monitor_.StartReadingVariables(); break;
    case kCmdStopReadingVariables: monitor_.StopReadingVariables(); break;
    case kCmdSetLogInterval:
      monitor_.SetLogInterval(AskNumber("Set Log Intervall (1..60 min):", monitor_.LogMinutes()));
      break;
    case kCmdOpenLogFile:
      ShowFileError(monitor_.OpenLogFile(ChooseFile(FileAccess::kOpen, kLogDefaultName, kLogDefaultExtension)));
      break;
    case kCmdStartLogging: monitor_.StartLogging(); break;
    case kCmdStopLogging: monitor_.StopLogging(); break;
    case kCmdTestMonitor:
      if (monitor_.SensorTest(AskOkCancel(kSensorTestQuestion, Box::Warning, Box::Cancel)).status == Status::kDone) {
        windows_.runSensorTest();
      }
      break;
    case kCmdProgramUpdate:
      if (monitor_.Update(AskOkCancel(kUpdateQuestion, Box::Critical, Box::Cancel)).status == Status::kDone) {
        windows_.update.Run();
      }
      break;
    case kCmdShowReadMe: ShowReadMe(); break;
    case kCmdAbout: ShowAbout(); break;
    default: return false;
  }
  return true;
}

void MonitorDialog::ChooseSerialDevice() {
  if (monitor_.MayChooseSerialDevice().status == Status::kDone) windows_.deviceChooser.Run(monitor_.ComPortNumber());
  // The port number's hint names the device chosen.
  Refresh();
}

Confirm MonitorDialog::AskOkCancel(const char* text, QMessageBox::Icon icon,
                                   QMessageBox::StandardButton defaultButton) {
  return [this, text, icon, defaultButton] {
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), FromWindowsText(text), QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.setDefaultButton(defaultButton);
    return box.exec() == QMessageBox::Ok;
  };
}

Answer<int> MonitorDialog::AskNumber(const char* prompt, int value) {
  return [this, prompt, value]() mutable -> std::optional<int> {
    if (!windows_.input.Ask(FromWindowsText(prompt), value)) return std::nullopt;
    return value;
  };
}

Answer<std::string> MonitorDialog::ChooseFile(FileAccess access, const char* defaultName,
                                              const char* defaultExtension) {
  return [this, access, defaultName, defaultExtension]() -> std::optional<std::string> {
    const QString chosen =
        ChooseFilePath(this, access, FromWindowsText(defaultName), FromWindowsText(defaultExtension));
    if (chosen.isEmpty()) return std::nullopt;
    return LocalPath(chosen);
  };
}

void MonitorDialog::ShowFileError(const Result& result) {
  if (result.status == Status::kFailed) ShowAppMessage(this, FromPathText(result.error), QMessageBox::Question);
}

void MonitorDialog::MessageAdded(int /*code*/, const std::string& /*line*/, TonePair tones) {
  tones_.Play(tones);
  Refresh();
}

bool MonitorDialog::Open(int comPort) { return windows_.protocol.OpenChannel(0, comPort) != 0; }

void MonitorDialog::Close() { windows_.protocol.CloseChannel(0); }

void MonitorDialog::ShowProtocolWindow() {
  windows_.protocol.show();
  windows_.protocol.raise();
}

void MonitorDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

// The help file lies in the folder the program was started from, or else beside the program, or where
// the installed program's documentation is.
void MonitorDialog::ShowReadMe() {
  const QString name = QStringLiteral("ReadMe.txt");
  const QString programFolder = QCoreApplication::applicationDirPath();
  QStringList tried;
  for (const QString& folder : {QDir::currentPath(), programFolder,
                                QDir::cleanPath(programFolder + QStringLiteral("/../share/doc/gelvar-monitor"))}) {
    const QString path = QDir::toNativeSeparators(QDir(folder).absoluteFilePath(name));
    if (tried.contains(path)) continue;
    tried << path;
    if (!QFileInfo(path).isFile()) continue;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
      ShowAppMessage(this, QStringLiteral("No program was found to show %1.").arg(path));
    }
    return;
  }
  ShowAppMessage(this,
                 QStringLiteral("The help file %1 was not found.\n\nLooked for:\n%2").arg(name, tried.join(u'\n')));
}

void MonitorDialog::Exit() {
  monitor_.Exit();
  accept();
}

}  // namespace gelvar
