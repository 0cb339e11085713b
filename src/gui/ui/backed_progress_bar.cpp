#include "gui/ui/backed_progress_bar.h"

#include <QEvent>
#include <QPainter>
#include <QRegion>

namespace gelvar {
namespace {

// The widgets beneath `bar`, from its window down to its parent.
std::vector<QWidget*> Beneath(const QWidget& bar) {
  std::vector<QWidget*> chain;
  for (QWidget* widget = bar.parentWidget(); widget != nullptr;
       widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
    chain.insert(chain.begin(), widget);
  }
  return chain;
}

}  // namespace

BackedProgressBar::BackedProgressBar() { setAttribute(Qt::WA_OpaquePaintEvent); }

void BackedProgressBar::paintEvent(QPaintEvent* event) {
  const Placement now = CurrentPlacement();
  if (beneath_.isNull() || !(now == painted_)) {
    beneath_ = PaintBeneath();
    painted_ = now;
  }
  QPainter(this).drawPixmap(0, 0, beneath_);
  QProgressBar::paintEvent(event);
}

void BackedProgressBar::changeEvent(QEvent* event) {
  // Colours, style, font, being enabled or the window's activation may change what lies beneath.
  beneath_ = QPixmap();
  QProgressBar::changeEvent(event);
}

BackedProgressBar::Placement BackedProgressBar::CurrentPlacement() const {
  Placement placement{QRect(mapTo(window(), QPoint(0, 0)), size()), {}};
  for (const QWidget* widget : Beneath(*this)) placement.beneath.push_back(widget->size());
  return placement;
}

QPixmap BackedProgressBar::PaintBeneath() const {
  const qreal ratio = devicePixelRatioF();
  QPixmap picture(size() * ratio);
  picture.setDevicePixelRatio(ratio);
  for (QWidget* widget : Beneath(*this)) {
    const QRegion area(QRect(mapTo(widget, QPoint(0, 0)), size()));
    widget->render(&picture, QPoint(0, 0), area,
                   widget->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
  }
  return picture;
}

}  // namespace gelvar
