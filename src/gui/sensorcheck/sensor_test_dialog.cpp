#include "gui/sensorcheck/sensor_test_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "gui/sensorcheck/sensor_test_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

using namespace sensor_test_ids;

QLineEdit* NewNumberField(int controlId) {
  auto* field = Numbered(new QLineEdit, controlId);
  field->setReadOnly(true);
  field->setAlignment(Qt::AlignRight);
  return field;
}

QLabel* NewLabel(const char* text) { return new QLabel(QString::fromLatin1(text)); }

}  // namespace

// The log pane on the left, the controls in one column on the right, in the order they are used.
// Laid out by Qt rather than at fixed places, so that no button text is cut in a wider font.
SensorTestDialog::SensorTestDialog(SensorSequence& test, QWidget* parent) : QDialog(parent), test_(test) {
  setWindowTitle(QStringLiteral("Gelvar Sensor Test Monitor"));
  const DialogUnits units(font());

  logPane_ = Numbered(new QPlainTextEdit, kIdLogPane);
  logPane_->setReadOnly(true);
  logPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logPane_->setMinimumSize(units.Size(178, 231));

  auto* typeBox = new QGroupBox(QStringLiteral("Select Type"));
  auto* typeRow = new QHBoxLayout(typeBox);
  for (int type = 0; type < 2; ++type) {
    type_[type] = Numbered(new QRadioButton(type == 0 ? QStringLiteral("Type I") : QStringLiteral("Type II")),
                           type == 0 ? kIdTypeI : kIdTypeII);
    typeRow->addWidget(type_[type]);
    connect(type_[type], &QRadioButton::clicked, this, [this, type] { test_.SetSensorType(type); });
  }

  const auto button = [this](int controlId, const char* text, auto onClick) {
    auto* control = Numbered(new QPushButton(QString::fromLatin1(text)), controlId);
    control->setAutoDefault(false);
    connect(control, &QPushButton::clicked, this, onClick);
    return control;
  };
  auto* column = new QGridLayout;
  column->addWidget(typeBox, 0, 0, 1, 3);
  int row = 1;
  // Blank rows part the column into what belongs together.
  const int gap = units.Size(0, 3).height();
  const auto addGap = [&] { column->setRowMinimumHeight(row++, gap); };
  for (int sensor = 0; sensor < 2; ++sensor) {
    addGap();
    column->addWidget(new QLabel(QStringLiteral("Sensor %1").arg(sensor + 1)), row, 0, 1, 2);
    column->addWidget(button(sensor == 0 ? kIdTemperature1 : kIdTemperature2, "Temperature",
                             [this, sensor] { test_.ReadTemperature(sensor); }),
                      row++, 2);
    column->addWidget(NewLabel("ta [s]"), row, 0);
    column->addWidget(NewTaField(sensor == 0 ? kIdTa1 : kIdTa2, sensor), row, 1);
    column->addWidget(button(sensor == 0 ? kIdStartCycle1 : kIdStartCycle2, "Start Cycle",
                             [this, sensor] { ShowFailure(test_.StartCycle(sensor)); }),
                      row++, 2);
  }
  countdown_ = Numbered(new QProgressBar, kIdCountdown);
  countdown_->setToolTip(QStringLiteral("Time left of the measuring cycle started."));
  column->addWidget(countdown_, row++, 0, 1, 3);
  addGap();
  column->addWidget(button(kIdReadRecorded, "Read Recorded Data", [this] { test_.ReadRecordedData(); }), row++, 0, 1,
                    3);
  addGap();

  const auto counter = [&](const char* label, int controlId) {
    QLineEdit* field = NewNumberField(controlId);
    column->addWidget(NewLabel(label), row, 0, 1, 2);
    column->addWidget(field, row++, 2);
    return field;
  };
  cycles_ = counter("Error Rcv", kIdCycles);
  refused_ = counter("Errror Tx", kIdRefused);
  waited_ = counter("Timeout Rx", kIdWaited);
  dataSet_ = counter("Data Set", kIdDataSet);

  addGap();
  column->addWidget(NewLabel("Sensor Type, Description"), row++, 0, 1, 3);
  description_ = Numbered(new QLineEdit, kIdDescription);
  connect(description_, &QLineEdit::textEdited, this,
          [this](const QString& text) { test_.SetDescription(ToWindowsText(text)); });
  column->addWidget(description_, row++, 0, 1, 3);
  column->setRowStretch(row++, 1);
  auto* save = button(kIdSaveReport, "Save Report", [this] { SaveReport(); });
  save->setDefault(true);
  column->addWidget(save, row++, 0, 1, 3);
  column->addWidget(button(kIdCancel, "Exit", [this] { reject(); }), row++, 0, 1, 3);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(logPane_, 1);
  layout->addLayout(column);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QLineEdit* SensorTestDialog::NewTaField(int controlId, int sensor) {
  QLineEdit* field = Numbered(new QLineEdit, controlId);
  field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
  ta_[sensor] = field;
  // Only what the user types is checked: a refresh that writes the same text back must not raise
  // the range message again.
  connect(field, &QLineEdit::textEdited, this,
          [this, sensor](const QString& text) { ShowFailure(test_.SetTa(sensor, ToWindowsText(text))); });
  return field;
}

// The ta fields are checked again as the window opens, before its timer runs.
void SensorTestDialog::Run() {
  Refresh();
  for (int sensor = 0; sensor < 2; ++sensor) ShowFailure(test_.SetTa(sensor, test_.TaText(sensor)));
  test_.Open(*this);
  CenterOverActiveWindow(this);
  exec();
  test_.Close();
}

void SensorTestDialog::Refresh() {
  const QString log = WithQtLineEnds(FromWindowsText(test_.LogText()));
  if (logPane_->toPlainText() != log) logPane_->setPlainText(log);
  ShowText(cycles_, QString::number(test_.Cycles()));
  ShowText(refused_, QString::number(test_.Refused()));
  ShowText(waited_, QString::number(test_.Waited()));
  ShowText(dataSet_, QString::number(test_.DataSetShown()));
  ShowText(description_, FromWindowsText(test_.Description()));
  ShowText(ta_[0], FromWindowsText(test_.TaText(0)));
  ShowText(ta_[1], FromWindowsText(test_.TaText(1)));
  type_[test_.SensorType() == 0 ? 0 : 1]->setChecked(true);
  ShowCountdown();
}

void SensorTestDialog::ShowCountdown() {
  const std::optional<CycleCountdown> countdown = test_.Countdown();
  const int seconds = countdown ? countdown->seconds : 1;
  const int elapsed = countdown ? countdown->seconds - countdown->left : 0;
  const QString text = countdown ? QStringLiteral("%1 s left").arg(countdown->left) : QString();
  if (countdown_->maximum() != seconds) countdown_->setRange(0, seconds);
  if (countdown_->value() != elapsed) countdown_->setValue(elapsed);
  if (countdown_->format() != text) countdown_->setFormat(text);
}

void SensorTestDialog::ShowFailure(const Result& result) {
  if (result.status == Status::kFailed) ShowAppMessage(this, FromPathText(result.error), QMessageBox::Warning);
}

void SensorTestDialog::StepFailed(const std::string& text) {
  ShowAppMessage(this, FromPathText(text), QMessageBox::Warning);
}

void SensorTestDialog::SaveReport() {
  const Result result = test_.SaveReport([this]() -> std::optional<std::string> {
    const QString chosen = ChooseFilePath(this, FileAccess::kSave, FromWindowsText(kSensorReportDefaultName),
                                          FromWindowsText(kSensorReportDefaultExtension));
    if (chosen.isEmpty()) return std::nullopt;
    return LocalPath(chosen);
  });
  if (result.status == Status::kDone) {
    ShowAppMessage(this, FromPathText(kSensorReportSaved + test_.ReportFileName()), QMessageBox::Warning);
  } else if (result.status == Status::kFailed) {
    ShowAppMessage(this, FromPathText(result.error), QMessageBox::Question);
  }
}

}  // namespace gelvar
