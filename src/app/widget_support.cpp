#include "app/widget_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QLineEdit>

#include "common/windows_1252.h"

namespace gelvar {

QString FromWindowsText(const std::string& text) {
  QString result;
  result.reserve(static_cast<qsizetype>(text.size()));
  for (const char c : text) result.append(QChar(FromWindows1252(static_cast<unsigned char>(c))));
  return result;
}

std::string ToWindowsText(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  // By code point, so that a character outside the BMP becomes one "?", not two.
  for (const char32_t c : text.toUcs4()) {
    const int byte = ToWindows1252(c);
    bytes.push_back(byte < 0 ? '?' : static_cast<char>(byte));
  }
  return bytes;
}

QString FromPathText(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString WithQtLineEnds(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.remove(QLatin1Char('\r'));
  return text;
}

void ShowText(QLineEdit* field, const QString& text) {
  if (field->hasFocus() && !field->isReadOnly()) return;
  if (field->text() != text) field->setText(text);
}

void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

void CenterOverActiveWindow(QWidget* dialog) {
  const QWidget* owner = QApplication::activeWindow();
  if (owner == nullptr || owner == dialog) return;
  dialog->adjustSize();
  dialog->move(owner->frameGeometry().center() - dialog->rect().center());
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 128}) {
    icon.addFile(QStringLiteral(":/gelvar/icon-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QString ChooseFilePath(QWidget* parent, FileAccess access, const QString& defaultName, const QString& extension) {
  // Like the desktop's own dialogs within one run: the next dialog opens where the last one ended.
  static QString lastFolder;
  const bool save = access == FileAccess::kSave;
  QFileDialog dialog(parent, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                     lastFolder.isEmpty() ? QDir::currentPath() : lastFolder);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(extension);
  dialog.selectFile(defaultName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString path = QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
  lastFolder = QFileInfo(path).absolutePath();
  return path;
}

void TriggerMenuCommand(const QWidget& window, int command) {
  for (QAction* action : window.findChildren<QAction*>()) {
    if (action->data().toInt() == command) action->trigger();
  }
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

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
