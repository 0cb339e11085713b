#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

constexpr int kFirstColumn[] = {1042, 1043, 1044, 1045, 1060, 1046, 1066, 1068,
                                1064, 1062, 1070, 1050, 1049, 1048, 1047};
constexpr int kSecondColumn[] = {1051, 1052, 1053, 1054, 1061, 1055, 1067, 1069,
                                 1065, 1063, 1071, 1059, 1058, 1057, 1056};

TEST_F(ToolWindowTest, InsideWindowShowsTheDriverOffBeforeTheLinkOpens) {
  scheduler.AdvanceBy(windowTimerPeriod);
  EXPECT_EQ(inside.windowTitle(), QStringLiteral("Zeb Inside"));
  EXPECT_EQ(FieldText(1042), QStringLiteral("0"));
  EXPECT_EQ(FieldText(1043), QStringLiteral("00"));
  for (int id : kFirstColumn) {
    auto* field = FindControl<QLineEdit>(&inside, id);
    ASSERT_NE(field, nullptr) << id;
    EXPECT_TRUE(field->isReadOnly()) << id;
    EXPECT_TRUE(field->alignment() & Qt::AlignRight) << id;
  }
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
  for (int id : kSecondColumn) EXPECT_EQ(FieldText(id), id == 1052 ? QString() : QStringLiteral("0")) << id;
}

}  // namespace
}  // namespace gelvar::testing
