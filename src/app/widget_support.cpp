#include "app/widget_support.h"

#include <QFont>
#include <QFontMetrics>

namespace gelvar {

QString FromWindowsText(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (letters / 26 + 1) / 2;
  baseY_ = metrics.height();
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return {Point(x, y), Size(width, height)};
}

QSize DialogUnits::Size(int width, int height) const {
  return {width * baseX_ / 4, height * baseY_ / 8};
}

QPoint DialogUnits::Point(int x, int y) const { return {x * baseX_ / 4, y * baseY_ / 8}; }

}  // namespace gelvar
