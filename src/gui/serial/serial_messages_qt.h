// The serial port's error boxes as Qt message boxes without an owner window.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

#include "core/serial/serial_port.h"

namespace gelvar {

class QtSerialMessages : public SerialMessages {
 public:
  // Once its box is closed, each error also goes to addLine as one "E> " line, while owner lives: the
  // box is gone when the user looks for what went wrong.
  void KeepErrorsIn(QObject& owner, std::function<void(const std::string&)> addLine);
  void ShowError(const std::string& caption, const std::string& text, bool warning) override;

 private:
  QPointer<QObject> owner_;
  std::function<void(const std::string&)> addLine_;
};

}  // namespace gelvar
