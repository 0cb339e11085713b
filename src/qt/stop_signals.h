// SIGTERM, SIGINT and SIGHUP (systemctl stop, Ctrl-C, the end of a login session) end the window
// program the way its Exit command does, so that the port is put back and closed. The handler only
// writes into a pipe; the event loop reads it and calls onStop, outside the signal handler.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace gelvar {

class StopSignals : public QObject {
 public:
  // One instance at a time. A second signal, should the first one's stop hang, ends the program at
  // once.
  explicit StopSignals(std::function<void()> onStop);
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  void Take();

  std::function<void()> onStop_;
  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace gelvar
