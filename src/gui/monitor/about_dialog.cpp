#include "gui/monitor/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "core/common/c_format.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

enum : int { kIdBuildText = 1094, kIdOk = 1 };
constexpr int kIconSize = 32;

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Info"));
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(kIconSize, kIconSize));
  auto* version = new QLabel(QStringLiteral("%1 Version 1.0").arg(QString::fromLatin1(kAppTitle)), this);
  auto* build =
      Numbered(new QLabel(FromWindowsText(CFormat("Build-%02d-%02d O-%d-%d", 82, 50, 1, 1)), this), kIdBuildText);
  build->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  Numbered(buttons->button(QDialogButtonBox::Ok), kIdOk);
  connect(buttons, &QDialogButtonBox::accepted, this, &AboutDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(version, 0, 1);
  layout->addWidget(build, 1, 1);
  layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
  layout->setHorizontalSpacing(DialogUnits(font()).Size(8, 0).width());
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace gelvar
