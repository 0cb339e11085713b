#include "monitor/message_pane.h"

#include <gtest/gtest.h>

namespace gelvar {
namespace {

TEST(MessagePane, LinesCarryTheStepsObjectIdAndTheFileNames) {
  MessageContext context;
  context.objectId = 0x0C0B;
  context.reportFileName = "C:\\data\\Gelvar.par";
  context.logFileName = "/tmp/Gelvar.log";
  EXPECT_EQ(MessageLine(kMsgWrongCommand, context), "E> Wrong command response at ID: 0C0B");
  EXPECT_EQ(MessageLine(kMsgWrongFormat, context), "E> Wrong format response at ID: 0C0B");
  EXPECT_EQ(MessageLine(kMsgNoReply, context), "E> No reply at ID: 0C0B");
  EXPECT_EQ(MessageLine(kMsgParametersStored, context),
            "I> Parameters stored in file ' C:\\data\\Gelvar.par '");
  EXPECT_EQ(MessageLine(kMsgLogStored, context), "I> Log stored in file ' /tmp/Gelvar.log '");
  context.objectId = 0x3003;
  EXPECT_EQ(MessageLine(kMsgWrongFormat, context), "E> Wrong format response at ID: 3003");
  context.testCommunicationStep = true;
  EXPECT_EQ(MessageLine(kMsgNoReply, context), "E> No reply from detector unit");
  EXPECT_EQ(MessageLine(kMsgWrongFormat, context), "E> Wrong format response at ID: 3003");
}

TEST(MessagePane, FixedLinesAndCodesOutsideTheTable) {
  const MessageContext context;
  EXPECT_EQ(MessageLine(kMsgTransferError, context), "E> Error initiating transfer");
  EXPECT_EQ(MessageLine(kMsgVariablesNotActive, context), "E> Reading variables not active");
  EXPECT_EQ(MessageLine(kMsgPortAlreadyOpen, context), "E> COM Port already open");
  EXPECT_EQ(MessageLine(0, context), "");
  EXPECT_EQ(MessageLine(29, context), "");
  for (int code = kFirstMessageCode; code <= kLastMessageCode; ++code) {
    const std::string line = MessageLine(code, context);
    ASSERT_GE(line.size(), 3u) << code;
    EXPECT_TRUE(line.rfind("E> ", 0) == 0 || line.rfind("I> ", 0) == 0) << line;
  }
}

TEST(MessagePane, NewestLineOnTopWithCrLf) {
  MessagePane pane;
  pane.Add("I> COM Port Opened");
  EXPECT_EQ(pane.Text(), "I> COM Port Opened\r\n");
  pane.Add("E> Communication in use");
  EXPECT_EQ(pane.Text(), "E> Communication in use\r\nI> COM Port Opened\r\n");
}

TEST(MessagePane, TextIsCutTo1024CharactersKeepingTheNewest) {
  MessagePane pane;
  for (int i = 0; i < 100; ++i) pane.Add("I> Reading variables started");
  pane.Add("E> Logging still active");
  EXPECT_EQ(pane.Text().size(), kMessagePaneLimit);
  EXPECT_EQ(pane.Text().rfind("E> Logging still active\r\nI> Reading", 0), 0u);
}

TEST(MessagePane, ErrorsFallAndInformationRises) {
  const TonePair error = MessageTones("E> COM Port NOT Open");
  const TonePair info = MessageTones("I> COM Port Opened");
  EXPECT_EQ(error.frequency1, 2000);
  EXPECT_EQ(error.milliseconds1, 120);
  EXPECT_EQ(error.frequency2, 1000);
  EXPECT_EQ(error.milliseconds2, 80);
  EXPECT_EQ(info.frequency1, 1000);
  EXPECT_EQ(info.milliseconds1, 120);
  EXPECT_EQ(info.frequency2, 2000);
  EXPECT_EQ(info.milliseconds2, 80);
}

}  // namespace
}  // namespace gelvar
