#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

TEST_F(ToolWindowTest, InsideWindowShowsTheDriverOffBeforeTheLinkOpens) {
  scheduler.AdvanceBy(windowTimerPeriod);
  EXPECT_EQ(inside.windowTitle(), QStringLiteral("Zeb Inside"));
  EXPECT_EQ(FieldText(1042), QStringLiteral("0"));
  EXPECT_EQ(FieldText(1043), QStringLiteral("00"));
}

TEST_F(ToolWindowTest, InsideWindowCountsABadChecksumAndKeepsTheSecondColumn) {
  StartLinkAndPort();
  unit.Faults().badChecksumRate = 1.0;
  ASSERT_TRUE(linkTransaction.Start(0x3000, nullptr));
  EXPECT_TRUE(scheduler.RunUntil([&] { return FieldText(1047) != QStringLiteral("0"); }, 700));
  EXPECT_EQ(FieldText(1047), QStringLiteral("1"));  // "Rf Error"
  EXPECT_EQ(FieldText(1042), QStringLiteral("1"));  // the driver is idle again
  EXPECT_EQ(FieldText(1044), QStringLiteral("0"));
  EXPECT_EQ(FieldText(1060), QStringLiteral("0"));
  EXPECT_EQ(FieldText(1056), QStringLiteral("0"));  // second column
  EXPECT_EQ(FieldText(1052), QString());
}

}  // namespace
}  // namespace gelvar::testing
