// Software update of the detector unit: the place from which a firmware file is to be loaded. The
// loading itself does not exist yet, so the dialog only opens and closes; it sends nothing.
#pragma once

#include <QDialog>

namespace gelvar {

class UpdateDialog : public QDialog {
  Q_OBJECT

 public:
  explicit UpdateDialog(QWidget* parent = nullptr);

  // Modal; the result means nothing yet.
  void Run();
};

}  // namespace gelvar
