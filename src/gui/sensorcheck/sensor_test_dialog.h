// "Gelvar Sensor Test Monitor": the modal window over SensorTest. It binds the test's members to its
// controls and hands every click and edit to the test; the sequence itself lives in SensorTest.
#pragma once

#include <QDialog>

#include <string>

#include "core/sensorcheck/sensor_sequence.h"

class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace gelvar {

class SensorTestDialog : public QDialog, private SensorTestView {
  Q_OBJECT

 public:
  explicit SensorTestDialog(SensorTest& test, QWidget* parent = nullptr);

  // Runs the window modally. Closing it stops only its timer: the log, the values read and a
  // running sequence are there again at the next Run.
  void Run();

 private:
  void Refresh() override;
  void Alert(const std::string& text, AlertIcon icon) override;
  bool ChooseSaveFile(const std::string& defaultName, const std::string& extension, std::string& path) override;

  QLineEdit* NewTaField(int controlId, int sensor);

  SensorTest& test_;
  QPlainTextEdit* logPane_ = nullptr;
  QLineEdit* cycles_ = nullptr;
  QLineEdit* refused_ = nullptr;
  QLineEdit* waited_ = nullptr;
  QLineEdit* dataSet_ = nullptr;
  QLineEdit* description_ = nullptr;
  QLineEdit* ta_[2] = {nullptr, nullptr};
  QRadioButton* type_[2] = {nullptr, nullptr};
};

}  // namespace gelvar
