// Help > About: the program's version and build.
#pragma once

#include <QDialog>

namespace gelvar {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace gelvar
