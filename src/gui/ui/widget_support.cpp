#include "gui/ui/widget_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QLineEdit>

#include "core/common/windows_1252.h"

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

namespace {

QString& LastFolder() {
  static QString folder;
  return folder;
}

// Icons and type names from the name alone. Qt's own provider asks the MIME database, which reads
// the first bytes of a file whose name does not tell its type; in /proc such a read can block for
// good (/proc/kmsg), and the dialog asks on the GUI thread.
class NameOnlyIconProvider : public QFileIconProvider {
 public:
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
  QString type(const QFileInfo& info) const override {
    return info.isDir() ? QStringLiteral("Folder") : QStringLiteral("File");
  }
};

}  // namespace

QString ChooseFilePath(QWidget* parent, FileAccess access, const QString& defaultName, const QString& extension) {
  static NameOnlyIconProvider icons;
  const bool save = access == FileAccess::kSave;
  QFileDialog dialog(parent, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                     LastFolder().isEmpty() ? QDir::currentPath() : LastFolder());
  dialog.setIconProvider(&icons);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(extension);
  dialog.selectFile(defaultName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

AppendResult FolderMemoryFiles::Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) {
  AppendResult result = files_.Append(path, bytes, ifMissing);
  if (result.Written()) LastFolder() = QFileInfo(QFile::decodeName(path.c_str())).absolutePath();
  return result;
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

QRect DialogUnits::Rect(int x, int y, int width, int height) const { return {Point(x, y), Size(width, height)}; }

QSize DialogUnits::Size(int width, int height) const { return {width * baseX_ / 4, height * baseY_ / 8}; }

QPoint DialogUnits::Point(int x, int y) const { return {x * baseX_ / 4, y * baseY_ / 8}; }

}  // namespace gelvar
