#include <QAbstractButton>
#include <QCheckBox>
#include <QScrollBar>
#include <QTest>

#include <string>

#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

using namespace std::string_literals;

TEST(TracePaneText, ShowsFrameBytesAndBreaksOnlyAtFrameStarts) {
  const struct {
    std::string trace;
    QString shown;
  } cases[] = {
      {"\r\n0001-0[T\x00\x01]"s, u"\n0001-0[T\u2400\u2401]"_qs},
      {"\r\n0007-0[U\r\n0008]\r\n0009-0[V]"s, u"\n0007-0[U\u240D\u240A0008]\n0009-0[V]"_qs},
      {"\r\n100000-0[\xB0\xFF]"s, u"\n100000-0[\u00B0\u00FF]"_qs},
      {"\n0001-0[]\r"s, u"\u240A0001-0[]\u240D"_qs},  // a pane cut between CR and LF
      {"\r\n0001-0[T]\r\n*** COM1 lost\r\n0002-0[T]"s, u"\n0001-0[T]\n*** COM1 lost\n0002-0[T]"_qs},
  };
  for (const auto& c : cases) EXPECT_EQ(TracePaneText(c.trace), c.shown) << c.shown.toStdString();
}

TEST_F(ToolWindowTest, PanesShowRequestAndReplyFrames) {
  StartLinkAndPort();
  ASSERT_TRUE(ReadOneObject());
  EXPECT_TRUE(PaneText(1019).startsWith(QStringLiteral("\n0001-0[T"))) << PaneText(1019).toStdString();
  EXPECT_TRUE(PaneText(1019).endsWith(QLatin1Char(']')));
  const QString rx = PaneText(1020);
  EXPECT_TRUE(rx.startsWith(QStringLiteral("\n0002-0[U")) || rx.startsWith(QStringLiteral("\n0002-0[V")))
      << rx.toStdString();
  EXPECT_TRUE(rx.endsWith(QLatin1Char(']')));
}

TEST_F(ToolWindowTest, ClearEmptiesOnePaneAndNewFramesFollow) {
  StartLinkAndPort();
  ASSERT_TRUE(ReadOneObject());
  QTest::mouseClick(FindControl<QAbstractButton>(&protocol, 1077), Qt::LeftButton);
  EXPECT_TRUE(PaneText(1019).isEmpty());
  EXPECT_FALSE(PaneText(1020).isEmpty());

  ASSERT_TRUE(ReadOneObject());
  EXPECT_TRUE(PaneText(1019).startsWith(QStringLiteral("\n0003-0[T"))) << PaneText(1019).toStdString();
  EXPECT_TRUE(PaneText(1020).contains(QStringLiteral("0004-0[")));
}

TEST_F(ToolWindowTest, ScrollKeepsTheLastLinesInView) {
  StartLinkAndPort();
  protocol.show();
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(ReadOneObject());
  const QScrollBar* bar = FindControl<QPlainTextEdit>(&protocol, 1019)->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ToolWindowTest, ViewShowsAndHidesTheInsideWindow) {
  auto* view = FindControl<QCheckBox>(&protocol, 1085);
  view->setChecked(true);
  EXPECT_TRUE(inside.isVisible());
  EXPECT_FALSE(inside.isActiveWindow());
  view->setChecked(false);
  EXPECT_FALSE(inside.isVisible());
}

TEST_F(ToolWindowTest, EscapeAndCloseOnlyHideWhileThePumpGoesOn) {
  StartLinkAndPort();
  protocol.show();
  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
  protocol.show();
  protocol.close();
  EXPECT_FALSE(protocol.isVisible());
  ASSERT_TRUE(ReadOneObject());
  EXPECT_TRUE(PaneText(1020).contains(QStringLiteral("0002-0[")));
}

}  // namespace
}  // namespace gelvar::testing
