// The one-line box that asks for a whole number (the COM port, the log interval). It checks only that
// the text is a whole number; ranges are the caller's business.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace gelvar {

class InputDialog : public QDialog {
  Q_OBJECT

 public:
  explicit InputDialog(QWidget* parent = nullptr);

  // Shows prompt and value, the value selected so that typing replaces it. True with the entered
  // number in value on OK; value stays as it was on Cancel.
  bool Ask(const QString& prompt, int& value);

  // Closes with OK only over a whole number; anything else is refused in a box and the edit gets
  // the focus back.
  void accept() override;

 private:
  QLabel* prompt_ = nullptr;
  QLineEdit* edit_ = nullptr;
  int value_ = 0;
};

}  // namespace gelvar
