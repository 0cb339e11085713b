// What the main window's controller needs of a front end: the Qt dialog implements it, and so can a
// console program. Texts are Windows-1252 bytes; a front end converts them for display.
#pragma once

#include <cstdint>
#include <string>

#include "core/monitor/read_cycle.h"

namespace gelvar {

enum class BoxIcon { kQuestion, kExclamation, kStop };
enum class DefaultButton { kOk, kCancel };
enum class FileDialogKind { kSave, kOpen };

class MonitorView {
 public:
  virtual ~MonitorView() = default;

  // Shows every value the controller holds: fields, pane, numbers, status texts, progress bars.
  virtual void Refresh() = 0;
  // Only the progress bars moved (every timer message may move them; no full refresh needed).
  virtual void ProgressChanged() = 0;

  // A modal question with OK and Cancel; true for OK.
  virtual bool AskOkCancel(const std::string& text, BoxIcon icon, DefaultButton defaultButton) = 0;
  // The input box: shows value, true with the entered whole number in value on OK. Ranges are the
  // caller's business.
  virtual bool AskNumber(const std::string& prompt, int& value) = 0;
  // The save or open file dialog; true with the chosen full path. The default extension is added
  // to a name typed without one.
  virtual bool ChooseFile(FileDialogKind kind, const std::string& defaultName, const std::string& defaultExtension,
                          std::string& path) = 0;
  // A message box with an OK button.
  virtual void Alert(const std::string& text, BoxIcon icon) = 0;
  // Two tones one after the other (Hz, ms).
  virtual void PlayTones(int frequency1, int milliseconds1, int frequency2, int milliseconds2) = 0;

  // The protocol window's channel operations: 1 opened, 0 not (the port has told the user why).
  virtual int OpenChannel(int channel, int portNumber) = 0;
  virtual void CloseChannel(int channel) = 0;

  virtual void ShowProtocolWindow() = 0;
  // The list of serial devices, to choose the one behind COM n (modal). A front end without one
  // ignores the command.
  virtual void ChooseSerialDevice(int /*portNumber*/) {}
  virtual void RunSensorTest() = 0;    // modal
  virtual void RunUpdateDialog() = 0;  // modal
  virtual void ShowAbout() = 0;        // modal
  virtual void ShowReadMe() = 0;
  // Closes the main window; the program ends.
  virtual void EndDialog() = 0;
};

// Lets a second front end follow the sequencer without reading the message pane. Every method
// has an empty default.
class MonitorListener {
 public:
  virtual ~MonitorListener() = default;
  virtual void StepEnded(std::uint32_t /*objectId*/, StepOutcome /*outcome*/) {}
  virtual void ParametersRead() {}
  virtual void VariableReadingStarted() {}
  virtual void VariablePassEnded() {}
  virtual void LogRecordWritten(int /*setNumber*/, bool /*written*/) {}
  // A new line at the top of the message pane, as AddMessage made it.
  virtual void MessageAdded(const std::string& /*line*/) {}
};

}  // namespace gelvar
