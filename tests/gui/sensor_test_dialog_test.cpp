// The sensor test window against the simulated unit: its buttons into the log
// pane, the ta check as the user types, and what stays after Exit.
#include <QTest>

#include "gui/window_fixture.h"

namespace gelvar::testing {
namespace {

class SensorTestWindowTest : public WindowTest {
 protected:
  SensorTestWindowTest() { StartWithPortOpen(); }

  // Runs the window; `drive` works it while it is up, then Exit closes it.
  void RunWindow(const std::function<void(QWidget*)>& drive) {
    answers.Then([=](QWidget* dialog) {
      drive(dialog);
      In<QPushButton>(dialog, 2)->click();
    });
    sensorDialog.Run();
  }
};

TEST_F(SensorTestWindowTest, ButtonsWriteTheLogAndExitKeepsIt) {
  const struct {
    int button;
    QString logStart;
  } cases[] = {
      {1016, u"Temperature sensor 2: "_qs},
      {1010, u"Record sensor 1 started!"_qs},
      {1009, u"\n\nResistance Shunt - Rsh: "_qs},
  };
  RunWindow([&](QWidget* dialog) {
    for (const auto& c : cases) {
      In<QAbstractButton>(dialog, c.button)->click();
      EXPECT_TRUE(RunUntil([&] { return Text(dialog, 1008).startsWith(c.logStart); }, 400000))
          << c.logStart.toStdString();
    }
  });
  RunWindow([&](QWidget* dialog) { EXPECT_TRUE(Text(dialog, 1008).startsWith(cases[2].logStart)); });
}

TEST_F(SensorTestWindowTest, TaIsCheckedAsTypedAndARefreshDoesNotCheckAgain) {
  QString rangeMessage;
  RunWindow([&](QWidget* dialog) {
    auto* ta = In<QLineEdit>(dialog, 1014);
    ta->selectAll();
    answers.ThenBox(QMessageBox::Ok, &rangeMessage);
    QTest::keyClicks(ta, QStringLiteral("0"));
    scheduler.AdvanceBy(1000);  // timer messages refresh the window: no second range message
    ta->selectAll();
    QTest::keyClicks(ta,
                     QStringLiteral("1000"));  // 1, 10, 100, 1000: all in range
    EXPECT_EQ(sensorTest.Ta(1), 1000);
  });
  EXPECT_EQ(rangeMessage, QStringLiteral("Error: Allowed range 1...1000 s"));
}

TEST_F(SensorTestWindowTest, DescriptionIsWindows1252AndARefreshLeavesItAloneWhileTyped) {
  RunWindow([&](QWidget* dialog) {
    auto* description = In<QLineEdit>(dialog, 1012);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    ASSERT_TRUE(description->hasFocus());
    In<QAbstractButton>(dialog, 1016)->click();  // a running step refreshes the window
    for (const QString& typed : {u"\u20AC"_qs, u"\u03A9"_qs}) {
      QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, typed, Qt::NoModifier);
    }
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(sensorTest.description, "\x80?");
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
  });
}

}  // namespace
}  // namespace gelvar::testing
