// Small pieces every window of the program shares: its texts, its message box and the placement of
// controls in dialog units.
#pragma once

#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string>
#include <utility>

class QFont;

namespace gelvar {

inline constexpr char kAppTitle[] = "Gelvar Monitor";
// Every control of a window carries its control number under this dynamic property.
inline constexpr char kControlIdProperty[] = "controlId";

// Texts of the core are Windows-1252 bytes; Latin-1 covers every character the program uses.
QString FromWindowsText(const std::string& text);

// The application's standard message box: the application's title as caption and an OK button.
void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

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

// Creates a child control of window at place (dialog units); a controlId of 0 marks a control without
// a number (labels, group boxes).
template <typename Control, typename... Args>
Control* AddControl(QWidget* window, const DialogUnits& units, const QRect& place, int controlId,
                    Args&&... args) {
  auto* control = new Control(std::forward<Args>(args)..., window);
  control->setGeometry(units.Rect(place.x(), place.y(), place.width(), place.height()));
  if (controlId != 0) control->setProperty(kControlIdProperty, controlId);
  return control;
}

// The control of window with the given number, or nullptr.
template <typename Control = QWidget>
Control* FindControl(const QWidget* window, int controlId) {
  for (Control* control : window->findChildren<Control*>()) {
    if (control->property(kControlIdProperty).toInt() == controlId) return control;
  }
  return nullptr;
}

}  // namespace gelvar
