// The main window's menu command numbers and the control numbers of its controls and of its small
// dialogs' controls: the windows' own, for their menus, their widget lookup and their tests.
#pragma once

namespace gelvar {

enum CommandId : int {
  kCmdOpenLogFile = 32772,
  kCmdOpenComPort = 32775,
  kCmdCloseComPort = 32776,
  kCmdAbout = 32778,
  kCmdExit = 32779,
  kCmdTestMonitor = 32783,
  kCmdShowProtocolWindow = 32784,
  kCmdStartMinHeatTime = 32798,
  kCmdStopMinHeatTime = 32799,
  kCmdStartCycleSensor1 = 32800,
  kCmdStartCycleSensor2 = 32801,
  kCmdFactorySettings = 32802,
  kCmdReadParameters = 32803,
  kCmdStartLogging = 32804,
  kCmdStopLogging = 32805,
  kCmdStartReadingVariables = 32806,
  kCmdStopReadingVariables = 32807,
  kCmdSaveParameters = 32808,
  kCmdTestCommunication = 32809,
  kCmdSetComPort = 32810,
  kCmdSetLogInterval = 32811,
  kCmdShowReadMe = 32812,
  kCmdProgramUpdate = 32813,
  kCmdChooseSerialDevice = 32814,
  // Carried out by the trend windows, not by the main window.
  kCmdShowTrend = 32815,
  kCmdPlotLogFile = 32816,
};

enum MonitorControlId : int {
  kProgressParameters = 1077,
  kProgressVariables = 1078,
  kProgressPause = 1081,
  kProgressLogging = 1084,
  kStatusComPort = 1079,
  kStatusLogging = 1080,
  kComPortNumber = 1073,
  kLogMinutes = 1074,
  kMessagePane = 1082,
};

// The small dialogs the main window brings up.
namespace input_ids {
enum : int { kIdOk = 1, kIdCancel = 2, kIdPrompt = 1085, kIdValue = 1087 };
}  // namespace input_ids

namespace chooser_ids {
enum : int { kIdOk = 1, kIdCancel = 2, kIdList = 1120, kIdNote = 1121 };
}  // namespace chooser_ids

}  // namespace gelvar
