#include "gui/tools/link_inside_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "core/line/link_inside.h"
#include "core/link/link.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

struct FieldRow {
  const char* label;  // UTF-8
  QPoint labelAt;
  int firstId;
  QPoint firstAt;
  int secondId;
  QPoint secondAt;
  bool isText = false;  // a text field starts empty, a number field at 0
};

// In the order of InsideValue, whose values the first column shows.
const FieldRow kRows[] = {
    {"Zustand", {5, 10}, 1042, {50, 10}, 1051, {75, 10}},
    {"Control", {5, 25}, 1043, {50, 25}, 1052, {75, 25}, true},
    {"Rx Zähler", {5, 40}, 1044, {50, 40}, 1053, {75, 40}},
    {"Tx Index", {5, 55}, 1045, {50, 55}, 1054, {75, 55}},
    {"Ck Index", {5, 70}, 1060, {50, 70}, 1061, {75, 70}},
    {"Rx Index", {5, 85}, 1046, {50, 85}, 1055, {75, 85}},
    {"Zustand", {110, 10}, 1066, {155, 10}, 1067, {180, 10}},
    {"Timeout", {110, 25}, 1068, {155, 25}, 1069, {180, 25}},
    {"Tf belegt", {110, 40}, 1064, {155, 40}, 1065, {180, 40}},
    {"Rf belegt", {110, 56}, 1062, {155, 56}, 1063, {180, 56}},
    {"Tf Overflow", {109, 72}, 1070, {155, 72}, 1071, {180, 72}},
    {"Tx Error", {110, 87}, 1050, {155, 87}, 1059, {180, 87}},
    {"Rx Error", {109, 102}, 1049, {155, 102}, 1058, {179, 102}},
    {"Rx Overflow", {109, 117}, 1048, {155, 117}, 1057, {179, 117}},
    {"Rf Error", {109, 133}, 1047, {155, 132}, 1056, {179, 132}},
};

QLineEdit* AddField(QWidget* window, const DialogUnits& units, QPoint at, int controlId, const QString& text) {
  auto* field = AddControl<QLineEdit>(window, units, {at.x(), at.y(), 20, 12}, controlId, text);
  field->setReadOnly(true);
  field->setAlignment(Qt::AlignRight);
  return field;
}

}  // namespace

LinkInsideWindow::LinkInsideWindow(const Link& link, TimerHost& timers)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), link_(link), timers_(timers) {
  setWindowTitle(QStringLiteral("Zeb Inside"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  const DialogUnits units(font());
  setFixedSize(units.Size(207, 149));
  move(units.Point(460, 160));
  AddControl<QGroupBox>(this, units, {0, 0, 100, 147}, 0, QStringLiteral("Treiber"));
  AddControl<QGroupBox>(this, units, {105, 0, 100, 147}, 0, QStringLiteral("Konverter"));
  for (const FieldRow& row : kRows) {
    // Labels may use the room up to their field: fonts here run wider than the layout's own.
    const int labelWidth = std::max(40, row.firstAt.x() - row.labelAt.x() - 1);
    AddControl<QLabel>(this, units, {row.labelAt.x(), row.labelAt.y(), labelWidth, 8}, 0, QString::fromUtf8(row.label));
    // The first column shows channel 0 from the first refresh on; the second stays as built.
    const QString start = row.isText ? QString() : QStringLiteral("0");
    firstColumn_.push_back(AddField(this, units, row.firstAt, row.firstId, start));
    AddField(this, units, row.secondAt, row.secondId, start);
  }
}

LinkInsideWindow::~LinkInsideWindow() { timers_.StopTimer(refreshTimer_); }

void LinkInsideWindow::Create() {
  if (refreshTimer_ >= 0) return;
  // Hidden, the fields would only be kept for the next showing, which refreshes them anyway.
  refreshTimer_ = timers_.StartTimer(link_.periods.windowTimer, [this] {
    if (isVisible()) Refresh();
  });
}

void LinkInsideWindow::showEvent(QShowEvent* event) {
  Refresh();
  QDialog::showEvent(event);
}

void LinkInsideWindow::Refresh() {
  const auto texts = ReadLinkInside(link_);
  for (std::size_t i = 0; i < texts.size(); ++i) ShowText(firstColumn_.at(i), FromWindowsText(texts[i]));
}

}  // namespace gelvar
