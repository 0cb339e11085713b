// "Gelvar Sensor Test Monitor": the modal window over SensorSequence. It shows the sequence's values
// in its controls, hands every click and edit to the sequence's operations and shows their boxes.
#pragma once

#include <QDialog>

#include <string>

#include "core/sensorcheck/sensor_sequence.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;

namespace gelvar {

class SensorTestDialog : public QDialog, private SensorSequenceEvents {
  Q_OBJECT

 public:
  explicit SensorTestDialog(SensorSequence& test, QWidget* parent = nullptr);

  // Runs the window modally. Closing it stops only its timer: the log, the values read and a
  // running sequence are there again at the next Run.
  void Run();

 private:
  void Refresh();
  void ShowCountdown();
  // The box of a failed operation, if it failed.
  void ShowFailure(const Result& result);
  void SaveReport();

  // SensorSequenceEvents.
  void Changed() override { Refresh(); }
  void StepFailed(const std::string& text) override;

  QLineEdit* NewTaField(int controlId, int sensor);

  SensorSequence& test_;
  QPlainTextEdit* logPane_ = nullptr;
  QLineEdit* cycles_ = nullptr;
  QLineEdit* refused_ = nullptr;
  QLineEdit* waited_ = nullptr;
  QLineEdit* dataSet_ = nullptr;
  QProgressBar* countdown_ = nullptr;  // the running cycle's ta, the time left as its text
  QLineEdit* description_ = nullptr;
  QLineEdit* ta_[2] = {nullptr, nullptr};
  QRadioButton* type_[2] = {nullptr, nullptr};
};

}  // namespace gelvar
