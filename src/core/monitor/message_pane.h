// The main window's message pane: one line per event, newest on top, with a two-tone signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/common/tone_pair.h"

namespace gelvar {

enum MessageCode : int {
  kMsgWrongCommand = 1,
  kMsgWrongFormat = 2,
  kMsgNoReply = 3,
  kMsgTransferError = 4,
  kMsgReadingInProgress = 5,
  kMsgParametersOk = 6,
  kMsgParametersStored = 7,
  kMsgVariablesAlreadyStarted = 8,
  kMsgVariablesStarted = 9,
  kMsgVariablesStopped = 10,
  kMsgLogStored = 11,
  kMsgCommunicationOk = 12,
  kMsgPortOpened = 13,
  kMsgPortClosed = 14,
  kMsgPortNotOpen = 15,
  kMsgFactorySettingsOk = 16,
  kMsgMinHeatTimeStarted = 17,
  kMsgMinHeatTimeStopped = 18,
  kMsgMoistureCycleStarted = 19,
  kMsgCommunicationInUse = 20,
  kMsgLogfileNotOpened = 21,
  kMsgLoggingStillActive = 22,
  kMsgVariablesNotActive = 23,
  kMsgCommandInProgress = 24,
  kMsgLogfileAlreadyOpened = 25,
  kMsgLoggingNotActive = 26,
  kMsgLoggingStarted = 27,
  kMsgPortAlreadyOpen = 28,
  kMsgLogfileMissing = 29,
  kMsgPortLost = 30,
  kMsgPortReopened = 31,
};

inline constexpr int kFirstMessageCode = 1;
inline constexpr int kLastMessageCode = 31;
inline constexpr std::size_t kMessagePaneLimit = 1024;

// What some lines say besides their fixed text.
struct MessageContext {
  std::uint32_t objectId = 0;          // of the step in progress
  bool testCommunicationStep = false;  // the step in progress is Test Communication
  std::string reportFileName;
  std::string logFileName;
};

// The line of one code; empty for a code outside 1..31.
std::string MessageLine(int code, const MessageContext& context);

// Falling for errors ("E> "), rising for information.
TonePair MessageTones(const std::string& line);

class MessagePane {
 public:
  // Puts the line on top and cuts the text to its limit.
  void Add(const std::string& line);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace gelvar
