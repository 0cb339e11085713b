// A progress bar whose repaints cost the bar alone. A plain QProgressBar is not opaque: each step it
// shows makes Qt repaint, beneath it, the group box and the window it sits in. This bar keeps a
// picture of what lies beneath it, draws that itself and lets QProgressBar draw over it as ever, so
// its pixels stay those of a plain bar.
#pragma once

#include <QPixmap>
#include <QProgressBar>
#include <QRect>
#include <QSize>

#include <vector>

namespace gelvar {

class BackedProgressBar : public QProgressBar {
 public:
  BackedProgressBar();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Where the bar lies in its window and how large every widget beneath it is: the picture is kept
  // while these stay as they were.
  struct Placement {
    QRect inWindow;
    std::vector<QSize> beneath;
    bool operator==(const Placement&) const = default;
  };

  Placement CurrentPlacement() const;
  // What the widgets beneath paint where the bar lies, the window's background first.
  QPixmap PaintBeneath() const;

  QPixmap beneath_;
  Placement painted_;
};

}  // namespace gelvar
