#include "gui/update/update_dialog.h"

#include <QPushButton>

#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

enum : int { kIdOk = 1, kIdCancel = 2, kIdOpenFile = 1018 };

}  // namespace

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Gelvar Software-Update"));
  const DialogUnits units(font());
  setFixedSize(units.Size(198, 58));
  auto* ok = AddControl<QPushButton>(this, units, {141, 7, 50, 14}, kIdOk, QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = AddControl<QPushButton>(this, units, {141, 24, 50, 14}, kIdCancel, QStringLiteral("Abbrechen"));
  // Stays without action until the unit's update procedure exists.
  auto* openFile = AddControl<QPushButton>(this, units, {7, 7, 87, 16}, kIdOpenFile, u"Update-Datei öffnen"_qs);
  openFile->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &UpdateDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &UpdateDialog::reject);
}

void UpdateDialog::Run() {
  CenterOverActiveWindow(this);
  exec();
}

}  // namespace gelvar
