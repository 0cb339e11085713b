// "Gelvar Monitor", the program's main window: every parameter and variable of the unit in read-only
// fields, the message pane, the COM port and log settings, four progress bars and the menu. The
// behaviour lives in Monitor; the window maps its menu commands to the monitor's operations, asks the
// questions they need and shows what the monitor tells.
#pragma once

#include <QDialog>
#include <QPalette>

#include <functional>
#include <map>
#include <string>

#include "core/common/file_appender.h"
#include "core/monitor/monitor.h"
#include "core/timing/timer_host.h"
#include "gui/ui/widget_support.h"

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

class MonitorDialog : public QDialog, private MonitorEvents, private UnitLine {
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

  const Monitor& Core() const { return monitor_; }
  // A line of the program's own in the message pane, such as settings that could not be used.
  void AddLine(const std::string& line) { monitor_.AddLine(line); }
  void AddListener(MonitorEvents& listener) { monitor_.AddListener(listener); }
  // Runs the menu commands that are not the main window's.
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

  struct ShownField {
    std::string text;
    bool stale = false;
    bool operator==(const ShownField&) const = default;
  };

  void FitScreen();
  void BuildMenu(QMenuBar* menuBar);
  QWidget* BuildMonitorColumn();
  QWidget* BuildParameters();
  QWidget* BuildVariables();

  // One menu command; false when it is not the main window's.
  bool RunCommand(int command);
  void ChooseSerialDevice();
  // A modal question with OK and Cancel, asked when the monitor allows the operation.
  Confirm AskOkCancel(const char* text, QMessageBox::Icon icon, QMessageBox::StandardButton defaultButton);
  // The input box, showing the current value.
  Answer<int> AskNumber(const char* prompt, int value);
  Answer<std::string> ChooseFile(FileAccess access, const char* defaultName, const char* defaultExtension);
  // The file's error box, when the file could not be written.
  void ShowFileError(const Result& result);
  void ShowProtocolWindow();
  void ShowAbout();
  void ShowReadMe();
  void Exit();

  void Refresh();
  void ShowField(QLineEdit* field, const ShownField& shown);

  // MonitorEvents.
  void MessageAdded(int code, const std::string& line, TonePair tones) override;
  void FieldsChanged() override { Refresh(); }
  void ProgressChanged() override;
  void StatusChanged() override { Refresh(); }

  // UnitLine: the protocol window's channel 0.
  bool Open(int comPort) override;
  void Close() override;

  TonePlayer& tones_;
  Windows windows_;
  QWidget* content_ = nullptr;             // everything below the menu bar, in a scroll area
  std::map<int, QLineEdit*> fields_;       // every value field by control ID
  std::map<int, ShownField> shownFields_;  // what was last written into them
  QPlainTextEdit* pane_ = nullptr;
  std::string shownPane_;
  QLineEdit* comPort_ = nullptr;
  QLineEdit* logMinutes_ = nullptr;
  QLineEdit* logSetCounter_ = nullptr;
  QLabel* comStatus_ = nullptr;
  QLabel* logStatus_ = nullptr;
  Progress progress_;
  QPalette stalePalette_;  // only the text greyed, the rest as inherited
  std::function<void(int)> otherCommands_;
  Monitor monitor_;  // last: its timer calls into the widgets above
};

}  // namespace gelvar
