#include "gui/tools/protocol_window.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include <cstdlib>

#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {

struct ProtocolWindow::ChannelLayout {
  int channel;
  QString title;
  QRect group;
  int ptId, prId, comId, ptNameId, prNameId, comNumberId;
  QRect pt, pr, com, ptName, prName, comNumber;
};

namespace {

QPlainTextEdit* AddPane(QWidget* window, const DialogUnits& units, const QRect& place, int controlId) {
  auto* pane = AddControl<QPlainTextEdit>(window, units, place, controlId);
  pane->setReadOnly(true);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return pane;
}

QPushButton* AddClearButton(QWidget* window, const DialogUnits& units, const QRect& place, int controlId) {
  auto* button = AddControl<QPushButton>(window, units, place, controlId, QStringLiteral("Clear"));
  button->setAutoDefault(false);  // Enter in the window must not clear a pane
  return button;
}

QCheckBox* AddCheckBox(QWidget* window, const DialogUnits& units, const QRect& place, int controlId,
                       const QString& text, bool enabled) {
  auto* box = AddControl<QCheckBox>(window, units, place, controlId, text);
  box->setEnabled(enabled);
  return box;
}

QLineEdit* AddNameEdit(QWidget* window, const DialogUnits& units, const QRect& place, int controlId) {
  auto* edit = AddControl<QLineEdit>(window, units, place, controlId);
  edit->setEnabled(false);
  return edit;
}

// Line file names go to fopen as the file system's bytes.
std::string FileName(const QLineEdit* edit) { return edit->text().toLocal8Bit().toStdString(); }

// The decimal number at the start of the text, 0 when there is none.
int LeadingNumber(const QLineEdit* edit) { return std::atoi(edit->text().toLatin1().constData()); }

}  // namespace

ProtocolWindow::ProtocolWindow(Link& link, TimerHost& timers, LinePort& port, LinkInsideWindow& insideWindow)
    : timers_(timers), insideWindow_(insideWindow), pump_(link, port, *this) {
  setWindowTitle(QStringLiteral("Zeb Communication"));
  // Shown from the main window without taking the focus from it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  const DialogUnits units(font());
  setFixedSize(units.Size(288, 74));
  move(units.Point(380, 330));

  txPane_.edit = AddPane(this, units, {24, 0, 126, 35}, protocol_ids::kIdTxPane);
  AddControl<QLabel>(this, units, {0, 0, 9, 9}, 0, QStringLiteral("Tx"));
  auto* clearTx = AddClearButton(this, units, {0, 10, 20, 10}, protocol_ids::kIdClearTx);
  rxPane_.edit = AddPane(this, units, {24, 37, 126, 35}, protocol_ids::kIdRxPane);
  AddControl<QLabel>(this, units, {0, 37, 9, 9}, 0, QStringLiteral("Rx"));
  auto* clearRx = AddClearButton(this, units, {0, 47, 20, 10}, protocol_ids::kIdClearRx);
  scroll_ = AddCheckBox(this, units, {155, 0, 30, 10}, 1086, QStringLiteral("Scroll"), true);
  scroll_->setChecked(true);
  auto* hex = AddCheckBox(this, units, {191, 0, 30, 10}, 1087, QStringLiteral("Hex"), false);
  view_ = AddCheckBox(this, units, {255, 0, 30, 10}, 1085, QStringLiteral("View"), false);

  // One channel's controls and places per call, laid out as in the window.
  // clang-format off
  BuildChannel({0, QStringLiteral("Ch 0"), {155, 10, 65, 60}, 1079, 1083, 1080, 1009, 1010, 1011,
                {161, 20, 25, 9}, {191, 20, 25, 9}, {161, 55, 35, 9},
                {161, 30, 55, 10}, {161, 40, 55, 10}, {195, 55, 20, 10}});
  BuildChannel({1, QStringLiteral("Ch 1"), {221, 10, 65, 60}, 1081, 1084, 1082, 1012, 1013, 1014,
                {227, 20, 25, 9}, {257, 20, 25, 9}, {227, 55, 35, 9},
                {227, 30, 55, 10}, {227, 39, 55, 10}, {261, 55, 20, 10}});
  // clang-format on

  connect(clearTx, &QPushButton::clicked, this, [this] {
    pump_.Tx().Clear();
    Refresh();
  });
  connect(clearRx, &QPushButton::clicked, this, [this] {
    pump_.Rx().Clear();
    Refresh();
  });
  connect(hex, &QCheckBox::toggled, this, [this](bool on) { pump_.SetHex(on); });
  connect(view_, &QCheckBox::toggled, this, [this](bool on) { insideWindow_.setVisible(on); });
}

ProtocolWindow::~ProtocolWindow() { pump_.StopRunning(); }

void ProtocolWindow::BuildChannel(const ChannelLayout& layout) {
  const DialogUnits units(font());
  AddControl<QGroupBox>(this, units, layout.group, 0, layout.title);
  auto* pt = AddCheckBox(this, units, layout.pt, layout.ptId, QStringLiteral("P-t"), false);
  auto* pr = AddCheckBox(this, units, layout.pr, layout.prId, QStringLiteral("P-r"), false);
  auto* ptName = AddNameEdit(this, units, layout.ptName, layout.ptNameId);
  auto* prName = AddNameEdit(this, units, layout.prName, layout.prNameId);
  auto* com = AddCheckBox(this, units, layout.com, layout.comId, QStringLiteral("COM:"), false);
  auto* comNumber = AddNameEdit(this, units, layout.comNumber, layout.comNumberId);

  // The pump serves channel 0 only and leaves any other channel alone. A box stays checked after a
  // failed open; unchecking it then has nothing to close.
  const int channel = layout.channel;
  connect(com, &QCheckBox::toggled, this, [this, channel, comNumber](bool on) {
    if (on) {
      OpenChannel(channel, LeadingNumber(comNumber));
    } else {
      CloseChannel(channel);
    }
  });
  const auto bindLineFile = [this, channel](QCheckBox* box, int kind, QLineEdit* name) {
    connect(box, &QCheckBox::toggled, this, [this, channel, kind, name](bool on) {
      if (on) {
        pump_.OpenLineFile(kind, channel, FileName(name));
      } else {
        pump_.CloseLineFile(kind, channel);
      }
    });
  };
  bindLineFile(pt, kLineFileTx, ptName);
  bindLineFile(pr, kLineFileRx, prName);
}

void ProtocolWindow::Create() {
  // A hidden window's panes are brought up to date when it is shown.
  pump_.Run(timers_, [this] {
    if (isVisible()) Refresh();
  });
  insideWindow_.Create();
  insideWindow_.setVisible(view_->isChecked());
}

int ProtocolWindow::OpenChannel(int channel, int portNumber) { return pump_.OpenChannel(channel, portNumber); }

void ProtocolWindow::CloseChannel(int channel) { pump_.CloseChannel(channel); }

void ProtocolWindow::Refresh() {
  const bool followEnd = scroll_->isChecked();
  ShowPane(txPane_, pump_.Tx().PaneLines(), followEnd);
  ShowPane(rxPane_, pump_.Rx().PaneLines(), followEnd);
}

void ProtocolWindow::showEvent(QShowEvent* event) {
  Refresh();
  QDialog::showEvent(event);
}

void ProtocolWindow::ShowPane(Pane& pane, const std::string& lines, bool followEnd) {
  QScrollBar* bar = pane.edit->verticalScrollBar();
  if (lines != pane.shown) {
    // Without Scroll the reader keeps the place they scrolled to.
    const int position = bar->value();
    pane.edit->setPlainText(FromWindowsText(lines));
    pane.shown = lines;
    bar->setValue(position);
  }
  if (followEnd) bar->setValue(bar->maximum());
}

void ProtocolWindow::ShowMessage(const std::string& text) {
  ShowAppMessage(isVisible() ? this : nullptr, FromWindowsText(text));
}

}  // namespace gelvar
