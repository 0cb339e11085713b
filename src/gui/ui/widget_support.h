// Small pieces every window of the program shares: its texts, its message box and the placement of
// controls in dialog units.
#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string>
#include <utility>

#include "core/common/file_appender.h"

class QFont;
class QLineEdit;

namespace gelvar {

inline constexpr char kAppTitle[] = "Gelvar Monitor";
// Every control of a window carries its control number under this dynamic property.
inline constexpr char kControlIdProperty[] = "controlId";

// Texts of the core are Windows-1252 bytes. A character the code page lacks becomes "?".
QString FromWindowsText(const std::string& text);
std::string ToWindowsText(const QString& text);

// A text that may carry a file name, such as a message line naming the file just written: the name
// is in the file system's bytes (UTF-8), everything else in these texts is plain ASCII.
QString FromPathText(const std::string& text);

// Multi-line text from the core, whose lines end in CR LF, as a Qt text edit shows it. A lone CR (a
// text cut between CR and LF) is dropped.
QString WithQtLineEnds(QString text);

// Writes text into a field only when it differs and the user is not typing in it, so that a refresh
// neither moves the cursor of a field being typed in nor repaints what has not changed.
void ShowText(QLineEdit* field, const QString& text);

// The application's standard message box: the application's title as caption and an OK button.
void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

// Places a dialog that has no parent window over the window the user works in, as a dialog owned by
// it would open.
void CenterOverActiveWindow(QWidget* dialog);

// The program's icon, in every size it ships.
QIcon AppIcon();

enum class FileAccess { kSave, kOpen };

// The save or open file dialog: starts at defaultName in the folder of the last file written (the
// current one at first), adds extension to a name typed without one, never asks before overwriting
// (the program's files are appended to), and with kOpen accepts names of files that do not exist
// yet. It tells files apart by their names only, never by reading them. Returns the full path, empty
// when the user cancelled.
QString ChooseFilePath(QWidget* parent, FileAccess access, const QString& defaultName, const QString& extension);

// Appends through files; each file written makes its folder the one the next file dialog starts in.
// A folder where writing failed is not offered again.
class FolderMemoryFiles : public FileAppender {
 public:
  explicit FolderMemoryFiles(FileAppender& files) : files_(files) {}
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override;

 private:
  FileAppender& files_;
};

// A path as the file system's bytes, for fopen.
std::string LocalPath(const QString& path);

// Window geometry in dialog units, scaled by the font the way the window layouts are measured: a
// horizontal unit is a quarter of the average character width, a vertical one an eighth of the height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;
  QPoint Point(int x, int y) const;

 private:
  int baseX_;
  int baseY_;
};

// Gives a control its number; returns the control.
template <typename Control>
Control* Numbered(Control* control, int controlId) {
  control->setProperty(kControlIdProperty, controlId);
  return control;
}

// Creates a child control of window at place (dialog units); a controlId of 0 marks a control without
// a number (labels, group boxes).
template <typename Control, typename... Args>
Control* AddControl(QWidget* window, const DialogUnits& units, const QRect& place, int controlId, Args&&... args) {
  auto* control = new Control(std::forward<Args>(args)..., window);
  control->setGeometry(units.Rect(place.x(), place.y(), place.width(), place.height()));
  return controlId != 0 ? Numbered(control, controlId) : control;
}

// Triggers the menu action of window that carries command in its data, as a click on it would.
void TriggerMenuCommand(const QWidget& window, int command);

// The control of window with the given number, or nullptr.
template <typename Control = QWidget>
Control* FindControl(const QWidget* window, int controlId) {
  for (Control* control : window->findChildren<Control*>()) {
    if (control->property(kControlIdProperty).toInt() == controlId) return control;
  }
  return nullptr;
}

}  // namespace gelvar
