// Stand-in main window until the full monitor window (fields, read cycle, all menus) replaces it: the
// caption, the Communication menu for the COM port and the protocol window, and a message pane.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace gelvar {

class ProtocolWindow;

class MonitorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MonitorDialog(ProtocolWindow& protocolWindow);

 private:
  void OpenComPort();
  void CloseComPort();
  void Exit();
  void AddMessage(const QString& line);
  void SetPortOpen(bool open);

  ProtocolWindow& protocolWindow_;
  QPlainTextEdit* messages_ = nullptr;
  QLabel* portStatus_ = nullptr;
  bool portOpen_ = false;
};

}  // namespace gelvar
