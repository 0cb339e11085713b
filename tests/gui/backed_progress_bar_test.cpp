// A backed progress bar shows on screen the very pixels a plain QProgressBar shows in its place.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLinearGradient>
#include <QPalette>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include "gui/ui/backed_progress_bar.h"

namespace gelvar {
namespace {

// A window with a bar in a group box, as the main window holds its bars.
struct BarWindow {
  explicit BarWindow(QProgressBar* bar) : bar(bar) {
    auto* box = new QGroupBox(QStringLiteral("Variables"), &window);
    auto* row = new QHBoxLayout(box);
    row->addWidget(new QLabel(QStringLiteral("Interval Variables:")));
    row->addWidget(bar, 1);
    (new QVBoxLayout(&window))->addWidget(box);
    bar->setTextVisible(false);
    bar->setRange(0, 2000);
    window.resize(320, 90);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // What the window shows on the screen, as painted so far.
  QImage OnScreen() const {
    QApplication::processEvents();
    return window.screen()->grabWindow(window.winId()).toImage();
  }

  QWidget window;
  QProgressBar* bar;
};

class BackedProgressBarTest : public ::testing::Test {
 protected:
  void SetBoth(int value) {
    plain.bar->setValue(value);
    backed.bar->setValue(value);
  }
  void ExpectSamePixels(const char* when) {
    const QImage shown = plain.OnScreen();
    ASSERT_FALSE(shown.isNull());
    EXPECT_TRUE(shown == backed.OnScreen()) << when << ", value " << plain.bar->value();
  }

  BarWindow plain{new QProgressBar};
  BarWindow backed{new BackedProgressBar};
};

TEST_F(BackedProgressBarTest, ShowsThePixelsOfAPlainBarAtEveryStepOfAPause) {
  for (int value = 0; value <= 2000; value += 10) {
    SetBoth(value);
    ExpectSamePixels("stepping");
  }
}

TEST_F(BackedProgressBarTest, ShowsThePixelsOfAPlainBarAfterTheWindowIsResized) {
  // Over a background that changes down the window, a picture taken at the old place shows.
  QLinearGradient fade(0, 0, 0, 120);
  fade.setColorAt(0, QColor(0x20, 0x40, 0x80));
  fade.setColorAt(1, QColor(0xf0, 0xe0, 0x90));
  QPalette faded;
  faded.setBrush(QPalette::Window, fade);
  for (QWidget* window : {&plain.window, &backed.window}) window->setPalette(faded);
  SetBoth(730);
  ExpectSamePixels("before resizing");
  for (QWidget* window : {&plain.window, &backed.window}) window->resize(410, 120);
  SetBoth(1490);
  ExpectSamePixels("after resizing");
}

TEST_F(BackedProgressBarTest, ShowsThePixelsOfAPlainBarAfterTheColoursChange) {
  SetBoth(730);
  QPalette yellow;
  yellow.setColor(QPalette::Window, QColor(0xff, 0xee, 0x88));
  for (QWidget* window : {&plain.window, &backed.window}) window->setPalette(yellow);
  SetBoth(1490);
  ExpectSamePixels("after the palette changed");
}

}  // namespace
}  // namespace gelvar
