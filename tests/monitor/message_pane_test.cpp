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

}  // namespace
}  // namespace gelvar
