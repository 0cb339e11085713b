// The main window's commands without a line: what each command does in each communication mode, the
// dialogs around them and the message pane. Virtual time never moves here, so no step reaches the link.
#include "monitor/monitor_controller.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

struct Rig {
  FakeMonitorView view;
  VirtualScheduler scheduler;
  MemoryFiles files;
  MonitorController controller{view, scheduler, files};

  Rig() { controller.Open(); }

  void Enter(int mode) {
    if (mode >= kPortOpen) controller.Command(kCmdOpenComPort);
    if (mode == kCommandRunning) {
      controller.Command(kCmdTestCommunication);
      controller.Command(kCmdTestCommunication);  // refused: the first step is still in progress
    }
    if (mode == kReadingParameters) controller.Command(kCmdReadParameters);
    if (mode >= kReadingVariables) controller.Command(kCmdStartReadingVariables);
    if (mode == kLoggingVariables) {
      controller.Command(kCmdOpenLogFile);
      controller.Command(kCmdStartLogging);
    }
    EXPECT_EQ(controller.Mode(), mode);
    view.calls.clear();
  }
};

struct ModeRow {
  int command;
  std::array<const char*, 6> cells;
};

constexpr std::array<const char*, 6> InEveryMode(const char* cell) { return {cell, cell, cell, cell, cell, cell}; }

// A cell lists what the command does in that mode: message codes (as lines added to the pane,
// in order), the view's calls by name, and "=N" for the mode it leaves; otherwise the mode stays.
const ModeRow kModeTable[] = {
    {kCmdSetComPort, {"ask-number", "28", "28", "28", "28", "28"}},
    {kCmdOpenComPort, {"open-channel 13 =1", "28", "28", "28", "28", "28"}},
    {kCmdCloseComPort, {"14", "close-channel 14 =0", "20", "20", "20", "20"}},
    {kCmdTestCommunication, {"15", "", "20", "20", "20", "20"}},
    {kCmdShowProtocolWindow, InEveryMode("protocol")},
    {kCmdExit, InEveryMode("close-channel end")},
    {kCmdStartMinHeatTime, {"15", "", "24", "20", "20", "20"}},
    {kCmdStopMinHeatTime, {"15", "", "24", "20", "20", "20"}},
    {kCmdStartCycleSensor1, {"15", "", "24", "20", "20", "20"}},
    {kCmdStartCycleSensor2, {"15", "", "24", "20", "20", "20"}},
    {kCmdFactorySettings, {"15", "ask-ok", "24", "20", "20", "20"}},
    {kCmdReadParameters, {"15", "=3", "20", "5", "20", "20"}},
    {kCmdSaveParameters, {"choose-save 7", "choose-save 7", "choose-save 7", "5", "choose-save 7", "choose-save 7"}},
    {kCmdStartReadingVariables, {"15", "9 =4", "20", "20", "8", "20"}},
    {kCmdStopReadingVariables, {"23", "23", "23", "23", "10 =1", "22"}},
    {kCmdSetLogInterval, InEveryMode("ask-number")},
    {kCmdOpenLogFile, {"choose-open", "choose-open", "choose-open", "choose-open", "choose-open", "22"}},
    {kCmdStartLogging, {"15", "23", "23", "23", "21", "22"}},
    {kCmdStopLogging, {"26", "26", "26", "26", "26", "11 =4"}},
    {kCmdTestMonitor, {"15", "ask-ok sensor-test", "20", "20", "20", "20"}},
    {kCmdUpdate, {"15", "ask-ok update", "20", "20", "20", "20"}},
    {kCmdProgramUpdate, {"15", "ask-ok update", "20", "20", "20", "20"}},
    {kCmdUnused1, InEveryMode("")},
    {kCmdUnused2, InEveryMode("")},
    {kCmdShowReadMe, InEveryMode("readme")},
    {kCmdAbout, InEveryMode("about")},
};

TEST(MonitorController, EveryCommandInEveryMode) {
  for (const ModeRow& row : kModeTable) {
    for (int mode = kPortClosed; mode <= kLoggingVariables; ++mode) {
      const std::string where = "command " + std::to_string(row.command) + " in mode " + std::to_string(mode);
      Rig rig;
      rig.Enter(mode);
      const std::size_t before = rig.controller.MessageText().size();

      std::vector<std::string> lines;
      std::string calls;
      int modeAfter = mode;
      std::istringstream cell(row.cells[static_cast<std::size_t>(mode)]);
      for (std::string token; cell >> token;) {
        if (token[0] == '=') {
          modeAfter = std::stoi(token.substr(1));
        } else if (std::isdigit(static_cast<unsigned char>(token[0]))) {
          const MessageContext context{.reportFileName = rig.view.reportPath, .logFileName = rig.view.logPath};
          lines.insert(lines.begin(), MessageLine(std::stoi(token), context));
        } else {
          calls += (calls.empty() ? "" : " ") + token;
        }
      }

      EXPECT_TRUE(rig.controller.Command(row.command)) << where;
      const std::string& pane = rig.controller.MessageText();
      EXPECT_EQ(FileLines(pane.substr(0, pane.size() - before)), lines) << where;  // the new lines
      EXPECT_EQ(rig.view.calls, calls) << where;
      EXPECT_EQ(rig.controller.Mode(), modeAfter) << where;
    }
  }
  EXPECT_FALSE(Rig().controller.Command(32777)) << "not a menu command";
}

// The port rows start from port 9, so that a refused answer cannot look like the default port 1.
TEST(MonitorController, InputBoxesKeepTheirRangesAndOpenUsesTheChosenPort) {
  const struct {
    int command;
    bool ok;
    int answer;
    int expected;
  } cases[] = {
      {kCmdSetComPort, true, 1, 1},      {kCmdSetComPort, true, 255, 255}, {kCmdSetComPort, true, 256, 9},
      {kCmdSetComPort, true, 0, 9},      {kCmdSetComPort, false, 7, 9},    {kCmdSetLogInterval, true, 60, 60},
      {kCmdSetLogInterval, true, 61, 5}, {kCmdSetLogInterval, true, 0, 5}, {kCmdSetLogInterval, true, 1, 1},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.view.numberAnswer = 9;
    rig.controller.Command(kCmdSetComPort);
    rig.view.answerOk = c.ok;
    rig.view.numberAnswer = c.answer;
    rig.controller.Command(c.command);
    const bool port = c.command == kCmdSetComPort;
    EXPECT_EQ(port ? rig.controller.ComPortNumber() : rig.controller.LogMinutes(), c.expected) << c.answer;
    EXPECT_EQ(rig.view.questions.back(), port ? "Set COM Port (1..255):" : "Set Log Intervall (1..60 min):");
    EXPECT_EQ(rig.controller.ProgressRange().logging, 60 * rig.controller.LogMinutes());
    rig.view.openSucceeds = false;
    rig.controller.Command(kCmdOpenComPort);
    EXPECT_EQ(rig.view.openedPorts, std::vector<int>{rig.controller.ComPortNumber()});
    EXPECT_EQ(rig.controller.ComStatusText(), "COM Port Closed") << "a failed open changes nothing";
    EXPECT_EQ(rig.controller.MessageText(), "");
  }
}

// Cancelled, they begin nothing: the next command begins its own step without refusal. A cancelled
// file dialog writes nothing; a report that cannot be written gives its box and no pane line. The pane
// shows the newest line on top, each with its tones: falling for an error, rising otherwise.
TEST(MonitorController, CancelledQuestionsAndDialogsDoNothing) {
  Rig rig;
  rig.controller.Command(kCmdTestCommunication);  // E> COM Port NOT Open
  rig.controller.Command(kCmdOpenComPort);        // I> COM Port Opened
  rig.view.answerOk = false;
  for (int command : {kCmdFactorySettings, kCmdTestMonitor, kCmdUpdate, kCmdProgramUpdate, kCmdSaveParameters,
                      kCmdOpenLogFile, kCmdTestCommunication}) {
    rig.controller.Command(command);
  }
  const std::string update = "Are you shure you really want to update the software of the detector unit?";
  EXPECT_EQ(rig.view.questions,
            (std::vector<std::string>{
                "Are you shure to reset all parameters to default values?",
                "The test monitor for moisture sensors should be used only by experienced engineers. Start it?", update,
                update}));
  EXPECT_EQ(rig.controller.Mode(), kPortOpen);
  EXPECT_TRUE(rig.files.files.empty());
  EXPECT_FALSE(rig.controller.LogFileChosen());

  rig.view.answerOk = true;
  rig.files.unwritable = {rig.view.reportPath};
  rig.controller.Command(kCmdSaveParameters);
  EXPECT_EQ(rig.view.alerts, std::vector<std::string>{"Error open parameter file: DateiParName\n" +
                                                      rig.view.reportPath + ": Read-only file system"});
  EXPECT_EQ(rig.controller.MessageText(), "I> COM Port Opened\r\nE> COM Port NOT Open\r\n");
  EXPECT_EQ(rig.view.tones, (std::vector<std::vector<int>>{{2000, 120, 1000, 80}, {1000, 120, 2000, 80}}));
}

TEST(MessagePane, NewestLineOnTopWithCrLfCutTo1024) {
  MessagePane pane;
  for (int i = 0; i < 100; ++i) pane.Add("I> Reading variables started");
  pane.Add("E> Logging still active");
  EXPECT_EQ(pane.Text().size(), kMessagePaneLimit);
  EXPECT_EQ(pane.Text().rfind("E> Logging still active\r\nI> Reading", 0), 0u);
}

}  // namespace
}  // namespace gelvar::testing
