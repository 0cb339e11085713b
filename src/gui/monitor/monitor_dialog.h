// "Gelvar Monitor", the program's main window: every parameter and variable of the unit in read-only
// fields, the message pane, the COM port and log settings, four progress bars and the menu. The
// behaviour lives in MonitorController; the window shows its state and answers its questions.
#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <string>

#include "core/common/file_appender.h"
#include "core/monitor/monitor_controller.h"
#include "core/timing/timer_host.h"

class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;

namespace gelvar {

class DeviceChooserDialog;
class InputDialog;
class ProtocolWindow;
class TonePlayer;
class UpdateDialog;

class MonitorDialog : public QDialog, private MonitorView {
  Q_OBJECT

 public:
  // The windows the main window opens; they outlive it.
  struct Windows {
    ProtocolWindow& protocol;
    std::function<void()> runSensorTest;  // its dialog builds on this folder, so it comes in as a call
    UpdateDialog& update;
    InputDialog& input;
    DeviceChooserDialog& deviceChooser;
  };

  MonitorDialog(Link& link, TimerHost& timers, FileAppender& files, TonePlayer& tones, const Windows& windows);
  ~MonitorDialog() override;

  // Starts the window's timer at the current tick period and shows the window.
  void Open();

  const MonitorController& Controller() const { return controller_; }
  // A line of the program's own in the message pane, such as settings that could not be used.
  void AddLine(const std::string& line) { controller_.AddLine(line); }
  void SetListener(MonitorListener* listener) { controller_.SetListener(listener); }
  // Runs the menu commands the controller does not know.
  void SetOtherCommands(std::function<void(int)> run) { otherCommands_ = std::move(run); }

 protected:
  // Escape does not end the program: it is pressed too easily while a log runs.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Progress {
    QProgressBar* parameters = nullptr;
    QProgressBar* variables = nullptr;
    QProgressBar* pause = nullptr;
    QProgressBar* logging = nullptr;
  };

  void FitScreen();
  void BuildMenu(QMenuBar* menuBar);
  QWidget* BuildMonitorColumn();
  QWidget* BuildParameters();
  QWidget* BuildVariables();

  // MonitorView.
  void Refresh() override;
  void ProgressChanged() override;
  bool AskOkCancel(const std::string& text, BoxIcon icon, DefaultButton defaultButton) override;
  bool AskNumber(const std::string& prompt, int& value) override;
  bool ChooseFile(FileDialogKind kind, const std::string& defaultName, const std::string& defaultExtension,
                  std::string& path) override;
  void Alert(const std::string& text, BoxIcon icon) override;
  void PlayTones(int frequency1, int milliseconds1, int frequency2, int milliseconds2) override;
  int OpenChannel(int channel, int portNumber) override;
  void CloseChannel(int channel) override;
  void ShowProtocolWindow() override;
  void ChooseSerialDevice(int portNumber) override;
  void RunSensorTest() override;
  void RunUpdateDialog() override;
  void ShowAbout() override;
  void ShowReadMe() override;
  void EndDialog() override;

  TonePlayer& tones_;
  Windows windows_;
  QWidget* content_ = nullptr;              // everything below the menu bar, in a scroll area
  std::map<int, QLineEdit*> fields_;        // every value field by control ID
  std::map<int, std::string> shownFields_;  // the texts last written into them
  QPlainTextEdit* pane_ = nullptr;
  std::string shownPane_;
  QLineEdit* comPort_ = nullptr;
  QLineEdit* logMinutes_ = nullptr;
  QLineEdit* logSetCounter_ = nullptr;
  QLabel* comStatus_ = nullptr;
  QLabel* logStatus_ = nullptr;
  Progress progress_;
  std::function<void(int)> otherCommands_;
  MonitorController controller_;  // last: its timer calls into the widgets above
};

}  // namespace gelvar
