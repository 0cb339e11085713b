#include "gui/serial/serial_messages_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <utility>

namespace gelvar {

void QtSerialMessages::KeepErrorsIn(QObject& owner, std::function<void(const std::string&)> addLine) {
  owner_ = &owner;
  addLine_ = std::move(addLine);
}

void QtSerialMessages::ShowError(const std::string& caption, const std::string& text, bool warning) {
  // The port's destructor can still report at exit, after the application object has gone; no
  // box can be shown then.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return;
  }
  QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Critical, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.exec();
  if (owner_) addLine_("E> " + OneLineFailure(text));
}

}  // namespace gelvar
