#include "core/monitor/message_pane.h"

#include <array>

#include "core/common/c_format.h"

namespace gelvar {
namespace {

// Indexed by code; codes 1, 2 and the ID form of 3 carry the step's object ID.
constexpr std::array<const char*, kLastMessageCode + 1> kTexts = {
    "",
    "E> Wrong command response at ID: %04X",
    "E> Wrong format response at ID: %04X",
    "E> No reply at ID: %04X",
    "E> Error initiating transfer",
    "E> Reading still in progress",
    "I> Reading parameters OK",
    "I> Parameters stored in file ' ",
    "E> Reading variables already started",
    "I> Reading variables started",
    "I> Reading variables stopped",
    "I> Log stored in file ' ",
    "I> Communication OK",
    "I> COM Port Opened",
    "I> COM Port Closed",
    "E> COM Port NOT Open",
    "I> Factory settings OK",
    "I> Minimum Heat Time started",
    "I> Minimum Heat Time stopped",
    "I> Moisture cycle started",
    "E> Communication in use",
    "E> Logfile not opened",
    "E> Logging still active",
    "E> Reading variables not active",
    "E> Command in progress",
    "E> Logfile already opened",
    "E> Logging not active",
    "I> Logging started",
    "E> COM Port already open",
    "E> Logfile missing, new file started",
    "E> COM Port Lost",
    "I> COM Port Reopened",
};

}  // namespace

std::string MessageLine(int code, const MessageContext& context) {
  if (code < kFirstMessageCode || code > kLastMessageCode) return {};
  const char* text = kTexts[static_cast<std::size_t>(code)];
  switch (code) {
    case kMsgNoReply:
      if (context.testCommunicationStep) return "E> No reply from detector unit";
      [[fallthrough]];
    case kMsgWrongCommand:
    case kMsgWrongFormat: return CFormat(text, static_cast<unsigned>(context.objectId));
    case kMsgParametersStored: return text + context.reportFileName + " '";
    case kMsgLogStored: return text + context.logFileName + " '";
    default: return text;
  }
}

TonePair MessageTones(const std::string& line) {
  if (!line.empty() && line[0] == 'E') return {2000, 120, 1000, 80};
  return {1000, 120, 2000, 80};
}

void MessagePane::Add(const std::string& line) {
  text_ = line + "\r\n" + text_;
  if (text_.size() > kMessagePaneLimit) text_.resize(kMessagePaneLimit);
}

}  // namespace gelvar
