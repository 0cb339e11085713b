// "Zeb Communication": the window whose timer pumps the link's bytes between the driver and the line,
// and which shows the traffic frame by frame. The pump runs whether the window is visible or not;
// closing the window only hides it. All line logic lives in BytePump.
#pragma once

#include <QDialog>

#include <string>

#include "core/line/byte_pump.h"
#include "core/line/line_port.h"
#include "core/timing/timer_host.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace gelvar {

class LinkInsideWindow;

class ProtocolWindow : public QDialog, private PumpMessages {
  Q_OBJECT

 public:
  // insideWindow may still be under construction: it is first used by Create().
  ProtocolWindow(Link& link, TimerHost& timers, LinePort& port, LinkInsideWindow& insideWindow);
  ~ProtocolWindow() override;

  // Starts the byte pump at the window timer period and sets up the diagnostics window, hidden.
  void Create();

  int OpenChannel(int channel, int portNumber);  // 1 opened, 0 not (the port has told the user)
  void CloseChannel(int channel);
  // Who is told when the open port's device goes and comes back (the main window).
  void SetLineObserver(LineObserver* observer) { pump_.SetLineObserver(observer); }

  // Puts the trace texts into the panes; with Scroll checked the last lines are brought into view.
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Pane {
    QPlainTextEdit* edit = nullptr;
    std::string shown;
  };
  struct ChannelLayout;

  void BuildChannel(const ChannelLayout& layout);
  void ShowMessage(const std::string& text) override;
  static void ShowPane(Pane& pane, const std::string& lines, bool followEnd);

  TimerHost& timers_;
  LinkInsideWindow& insideWindow_;
  BytePump pump_;
  Pane txPane_;
  Pane rxPane_;
  QCheckBox* scroll_ = nullptr;
  QCheckBox* view_ = nullptr;
};

}  // namespace gelvar
