#include "gui/monitor/input_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/monitor/monitor_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

using namespace input_ids;

}  // namespace

InputDialog::InputDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Monitor"));
  const DialogUnits units(font());
  prompt_ = Numbered(new QLabel(QStringLiteral("Input:"), this), kIdPrompt);
  edit_ = Numbered(new QLineEdit(this), kIdValue);
  prompt_->setBuddy(edit_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  Numbered(buttons->button(QDialogButtonBox::Ok), kIdOk);
  Numbered(buttons->button(QDialogButtonBox::Cancel), kIdCancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &InputDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &InputDialog::reject);

  // A prompt is one line of any length; the box grows with it instead of cutting it.
  auto* layout = new QGridLayout(this);
  layout->addWidget(prompt_, 0, 0);
  layout->addWidget(edit_, 1, 0);
  layout->addWidget(buttons, 0, 1, 3, 1);
  layout->setRowStretch(2, 1);
  layout->setColumnMinimumWidth(0, units.Size(100, 0).width());
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool InputDialog::Ask(const QString& prompt, int& value) {
  prompt_->setText(prompt);
  value_ = value;
  edit_->setText(QString::number(value));
  edit_->selectAll();
  edit_->setFocus();
  CenterOverActiveWindow(this);
  if (exec() != QDialog::Accepted) return false;
  value = value_;
  return true;
}

void InputDialog::accept() {
  bool whole = false;
  const int number = edit_->text().trimmed().toInt(&whole);
  if (!whole) {
    ShowAppMessage(this, QStringLiteral("Geben Sie bitte eine ganze Zahl ein."));
    edit_->setFocus();
    edit_->selectAll();
    return;
  }
  value_ = number;
  QDialog::accept();
}

}  // namespace gelvar
