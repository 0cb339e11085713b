// A scripted main window on a virtual line, and an in-memory file system.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/common/file_appender.h"
#include "core/monitor/monitor_controller.h"
#include "core/line/byte_pump.h"

namespace gelvar::testing {

// Answers every question as told and writes down what the controller asked of it, one word per call.
class FakeMonitorView : public MonitorView {
 public:
  void Refresh() override {}
  void ProgressChanged() override {}
  bool AskOkCancel(const std::string& text, BoxIcon, DefaultButton) override {
    Note("ask-ok");
    questions.push_back(text);
    return answerOk;
  }
  bool AskNumber(const std::string& prompt, int& value) override {
    Note("ask-number");
    questions.push_back(prompt);
    if (answerOk) value = numberAnswer;
    return answerOk;
  }
  bool ChooseFile(FileDialogKind kind, const std::string&, const std::string&, std::string& path) override {
    Note(kind == FileDialogKind::kSave ? "choose-save" : "choose-open");
    if (answerOk) path = kind == FileDialogKind::kSave ? reportPath : logPath;
    return answerOk;
  }
  void Alert(const std::string& text, BoxIcon) override {
    Note("alert");
    alerts.push_back(text);
  }
  void PlayTones(int f1, int ms1, int f2, int ms2) override { tones.push_back({f1, ms1, f2, ms2}); }
  int OpenChannel(int channel, int portNumber) override {
    Note("open-channel");
    openedPorts.push_back(portNumber);
    return pump->OpenChannel(channel, portNumber);
  }
  void CloseChannel(int channel) override {
    Note("close-channel");
    pump->CloseChannel(channel);
  }
  void ShowProtocolWindow() override { Note("protocol"); }
  void RunSensorTest() override { Note("sensor-test"); }
  void RunUpdateDialog() override { Note("update"); }
  void ShowAbout() override { Note("about"); }
  void ShowReadMe() override { Note("readme"); }
  void EndDialog() override { Note("end"); }

  void Note(const std::string& call) { calls += (calls.empty() ? "" : " ") + call; }

  BytePump* pump = nullptr;  // the channel operations reach the virtual line through it

  bool answerOk = true;
  int numberAnswer = 7;
  std::string reportPath = "report.par";
  std::string logPath = "variables.log";

  std::string calls;
  std::vector<std::string> questions;  // and prompts
  std::vector<std::string> alerts;
  std::vector<std::vector<int>> tones;
  std::vector<int> openedPorts;
};

// Files as strings; paths in `unwritable` cannot be opened.
class MemoryFiles : public FileAppender {
 public:
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override {
    if (unwritable.count(path) != 0) return {AppendStatus::kFailed, "Read-only file system"};
    if (ifMissing == IfMissing::kReport && files.count(path) == 0) return {AppendStatus::kMissing, {}};
    files[path] += bytes;
    return {};
  }
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;
};

}  // namespace gelvar::testing
