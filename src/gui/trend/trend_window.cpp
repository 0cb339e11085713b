#include "gui/trend/trend_window.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QScreen>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "gui/trend/trend_axes.h"
#include "gui/ui/widget_support.h"

namespace gelvar {

// A chart that zooms with the mouse wheel, pans with the left button dragged and puts the cursor
// where the mouse is; all three act on every chart of the window.
class TrendChartView : public QChartView {
 public:
  TrendChartView(QChart* chart, TrendWindow& window) : QChartView(chart), window_(window) {
    setRenderHint(QPainter::Antialiasing, false);  // thousands of short segments: faster without
    setMouseTracking(true);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const double factor = event->angleDelta().y() > 0 ? 1 / kWheelZoom : kWheelZoom;
    window_.Zoom(factor, PlotFraction(event->position().x()));
    event->accept();
  }
  void mousePressEvent(QMouseEvent* event) override {
    dragX_ = event->position().x();
    window_.ShowCursor(TimeAt(dragX_));
    event->accept();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    const double x = event->position().x();
    const double width = chart()->plotArea().width();
    if ((event->buttons() & Qt::LeftButton) && width > 0) {
      const auto [from, to] = window_.VisibleRange();
      window_.Pan((dragX_ - x) / width * (to - from));
      dragX_ = x;
    }
    window_.ShowCursor(TimeAt(x));
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
  void leaveEvent(QEvent* event) override {
    window_.HideCursor();
    QChartView::leaveEvent(event);
  }

 private:
  static constexpr double kWheelZoom = 1.25;

  double PlotFraction(double x) const {
    const QRectF area = chart()->plotArea();
    return area.width() > 0 ? std::clamp((x - area.left()) / area.width(), 0.0, 1.0) : 0.5;
  }
  double TimeAt(double x) const {
    const auto [from, to] = window_.VisibleRange();
    return from + PlotFraction(x) * (to - from);
  }

  TrendWindow& window_;
  double dragX_ = 0;
};

// Lowest and highest value drawn on one axis, with a little room above and below.
struct TrendWindow::AxisSpan {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Take(double value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
  void ApplyTo(QValueAxis* axis, double plotHeight) const {
    const double room = low <= high ? std::max((high - low) * 0.03, 0.5) : 0;  // nothing drawn: 0 to 1
    const int maxSteps = static_cast<int>(plotHeight / (QFontMetricsF(axis->labelsFont()).height() * kTickSpacing));
    const ValueTicks ticks = RoundValueTicks(low - room, high + room, maxSteps);
    axis->setTickAnchor(0);
    axis->setTickInterval(ticks.step);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
    axis->setRange(ticks.low, ticks.high);
  }
  static constexpr double kTickSpacing = 2;  // label heights from one value tick to the next
};

namespace {

enum ChartIndex { kTemperatureChart, kMoistureChart, kRelayChart };
constexpr double kButtonZoom = 2.0;
// One colour per series, so that no two lines of a chart look alike.
constexpr QRgb kColours[kTrendSeriesCount] = {0xd62728, 0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0x8c564b,
                                              0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0xd62728};
constexpr double kMinimumSpan = 10;      // seconds; a single point is shown with this much around it
constexpr QSize kWindowSize(1280, 680);  // fits a 1366 x 768 screen less a panel and a title bar
constexpr int kRelayChartHeight = 130;
constexpr qreal kMarkSize = 7;
constexpr QMargins kChartMargins(4, 4, 4, 4);
constexpr double kSamePixel = 1e-3;  // margins closer than this to those set are those
constexpr qreal kCursorZ = 10;       // above the series
constexpr char kCursorTimeFormat[] = "%Y-%m-%d %H:%M:%S";

int ChartOf(TrendKind kind) {
  switch (kind) {
    case TrendKind::kTemperature: return kTemperatureChart;
    case TrendKind::kMoisture:
    case TrendKind::kVoltage: return kMoistureChart;
    case TrendKind::kRelay: return kRelayChart;
  }
  return kTemperatureChart;
}

QValueAxis* AddValueAxis(QChart* chart, const QString& title, Qt::Alignment side) {
  auto* axis = new QValueAxis;
  axis->setTitleText(title);
  axis->setTickType(QValueAxis::TicksDynamic);
  chart->addAxis(axis, side);
  return axis;
}

// Off and On, with room above and below the steps.
QValueAxis* RelayAxis(QChart* chart) {
  auto* axis = new QCategoryAxis;
  axis->setTitleText(QStringLiteral("Relay"));
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  axis->append(QStringLiteral("Off"), 0);
  axis->append(QStringLiteral("On"), 1);
  axis->setRange(-0.2, 1.2);
  chart->addAxis(axis, Qt::AlignLeft);
  return axis;
}

QChart* NewChart() {
  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignRight);
  chart->setMargins(kChartMargins);
  return chart;
}

QString ValueText(TrendKind kind, double value, bool fahrenheit) {
  if (std::isnan(value)) return QStringLiteral("not read");
  switch (kind) {
    case TrendKind::kTemperature: return QString::asprintf("%.1f %s", value, fahrenheit ? "\u00B0F" : "\u00B0C");
    case TrendKind::kMoisture: return QString::asprintf("%.0f", value);
    case TrendKind::kVoltage: return QString::asprintf("%.2f V", value);
    case TrendKind::kRelay: return value > 0 ? QStringLiteral("On") : QStringLiteral("Off");
  }
  return {};
}

// A write can stop half-way (at a size limit) without a reason; the next one then gives the system's.
bool WriteAll(QSaveFile& file, const QByteArray& bytes) {
  for (qint64 done = 0; done < bytes.size();) {
    const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

TrendWindow::TrendWindow(const QString& title) {
  setWindowTitle(QString::fromLatin1(kAppTitle) + QStringLiteral(" - ") + title);
  setWindowIcon(AppIcon());
  chartArea_ = Numbered(new QWidget(this), kTrendCharts);
  BuildCharts(chartArea_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildControls());
  layout->addWidget(chartArea_, 1);
  resize(kWindowSize.boundedTo(screen()->availableGeometry().size()));
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::BuildCharts(QWidget* area) {
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (Chart& c : charts_) {
    c.chart = NewChart();
    c.chart->layout()->getContentsMargins(&layoutMargins_.left, &layoutMargins_.top, &layoutMargins_.right,
                                          &layoutMargins_.bottom);
    c.time = new QCategoryAxis;
    c.time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    c.chart->addAxis(c.time, Qt::AlignBottom);
    c.view = new TrendChartView(c.chart, *this);
    c.cursorLine = new QGraphicsLineItem(c.chart);
    c.cursorLine->setPen(QPen(Qt::black, 0, Qt::DashLine));
    c.cursorBox = new QGraphicsRectItem(c.chart);
    c.cursorBox->setBrush(QColor(255, 255, 255, 230));
    c.cursorBox->setPen(QPen(Qt::gray, 0));
    c.cursorText = new QGraphicsSimpleTextItem(c.cursorBox);
    for (QGraphicsItem* item : {static_cast<QGraphicsItem*>(c.cursorLine), static_cast<QGraphicsItem*>(c.cursorBox)}) {
      item->setZValue(kCursorZ);
      item->hide();
    }
  }
  // One value axis per kind, in the order of TrendKind.
  axes_ = {
      AddValueAxis(charts_[kTemperatureChart].chart, QString(), Qt::AlignLeft),
      AddValueAxis(charts_[kMoistureChart].chart, QStringLiteral("Moisture"), Qt::AlignLeft),
      AddValueAxis(charts_[kMoistureChart].chart, QStringLiteral("Voltage [V]"), Qt::AlignRight),
      RelayAxis(charts_[kRelayChart].chart),
  };
  // The moisture's grid lines are enough for one chart.
  axes_[static_cast<std::size_t>(TrendKind::kVoltage)]->setGridLineVisible(false);
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    const TrendKind kind = TrendSeriesKind(s);
    Chart& c = charts_[static_cast<std::size_t>(ChartOf(kind))];
    Series& series = series_[static_cast<std::size_t>(s)];
    series.line = new QLineSeries;
    series.line->setName(FromWindowsText(TrendSeriesName(s)));
    series.line->setColor(QColor(kColours[s]));
    series.marks = new QScatterSeries;
    series.marks->setColor(QColor(kColours[s]));
    series.marks->setBorderColor(QColor(kColours[s]));
    series.marks->setMarkerSize(kMarkSize);
    for (QXYSeries* xy : {static_cast<QXYSeries*>(series.line), static_cast<QXYSeries*>(series.marks)}) {
      c.chart->addSeries(xy);
      xy->attachAxis(c.time);
      xy->attachAxis(axes_[static_cast<std::size_t>(kind)]);
    }
    c.chart->legend()->markers(series.marks).constFirst()->setVisible(false);
  }
  layout->addWidget(charts_[kTemperatureChart].view, 3);
  layout->addWidget(charts_[kMoistureChart].view, 2);
  charts_[kRelayChart].view->setFixedHeight(kRelayChartHeight);
  layout->addWidget(charts_[kRelayChart].view);
}

QWidget* TrendWindow::BuildControls() {
  auto* controls = new QWidget;
  auto* grid = new QGridLayout(controls);
  grid->setContentsMargins(0, 0, 0, 0);
  constexpr int kBoxColumns = 6;
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    auto* box = Numbered(new QCheckBox(FromWindowsText(TrendSeriesName(s))), TrendSeriesBox(s));
    box->setChecked(true);
    connect(box, &QCheckBox::toggled, this, [this, s](bool on) {
      series_[static_cast<std::size_t>(s)].line->setVisible(on);
      series_[static_cast<std::size_t>(s)].marks->setVisible(on);
      Redraw();
    });
    series_[static_cast<std::size_t>(s)].box = box;
    grid->addWidget(box, s / kBoxColumns, s % kBoxColumns);
  }
  auto* buttons = new QHBoxLayout;
  const auto addButton = [&](const char* text, int controlId, const char* hint, std::function<void()> action) {
    auto* button = Numbered(new QPushButton(QString::fromLatin1(text)), controlId);
    button->setToolTip(QString::fromLatin1(hint));
    buttons->addWidget(button);
    connect(button, &QPushButton::clicked, this, std::move(action));
    return button;
  };
  addButton("Zoom &In", kTrendZoomIn, "Half the time span (or turn the mouse wheel over a chart).",
            [this] { Zoom(1 / kButtonZoom); });
  addButton("Zoom &Out", kTrendZoomOut, "Twice the time span.", [this] { Zoom(kButtonZoom); });
  addButton("Show &All", kTrendShowAll, "Everything from the first point to the newest, following new points.",
            [this] { FollowNewest(0); });
  followButton_ = addButton("&Follow Newest", kTrendFollow,
                            "Keep the newest point at the right edge; drag a chart to look back.", [this] {
                              const auto [from, to] = VisibleRange();
                              if (followButton_->isChecked()) return FollowNewest(to - from);
                              Hold({from, to});
                            });
  followButton_->setCheckable(true);
  followButton_->setChecked(true);
  buttons->addStretch(1);
  addButton("&Save as PNG...", kTrendSavePng, "Save the charts as a picture.", [this] { SavePngAsked(); });
  grid->addLayout(buttons, 2, 0, 1, kBoxColumns);
  return controls;
}

void TrendWindow::Follow(const TrendData& data) {
  own_.reset();
  data_ = &data;
  FollowNewest(0);
}

void TrendWindow::Plot(TrendData data, const QString& title) {
  setWindowTitle(QString::fromLatin1(kAppTitle) + QStringLiteral(" - ") + title);
  own_ = std::move(data);
  data_ = &*own_;
  FollowNewest(0);
}

void TrendWindow::DataChanged() {
  if (isVisible()) Redraw();
}

std::pair<double, double> TrendWindow::VisibleRange() const {
  if (!follow_) return range_;
  if (data_ == nullptr || data_->Size() == 0) return {0, kMinimumSpan};
  const double newest = data_->Time(data_->Size() - 1);
  const double from = span_ > 0 ? newest - span_ : data_->Time(0);
  return newest - from < kMinimumSpan ? std::pair{newest - kMinimumSpan / 2, newest + kMinimumSpan / 2}
                                      : std::pair{from, newest};
}

void TrendWindow::Zoom(double factor, double anchor) {
  const auto [from, to] = VisibleRange();
  const double span = std::max((to - from) * factor, kMinimumSpan);
  const double left = from + (to - from) * anchor - span * anchor;
  Hold({left, left + span});
}

void TrendWindow::Pan(double seconds) {
  const auto [from, to] = VisibleRange();
  Hold({from + seconds, to + seconds});
}

void TrendWindow::FollowNewest(double span) {
  span_ = span;
  follow_ = true;
  followButton_->setChecked(true);
  Redraw();
}

void TrendWindow::Hold(std::pair<double, double> range) {
  range_ = range;
  follow_ = false;
  followButton_->setChecked(false);
  Redraw();
}

std::size_t TrendWindow::ShownPoints(int series) const {
  return static_cast<std::size_t>(series_[static_cast<std::size_t>(series)].line->count());
}

std::size_t TrendWindow::ShownMarks(int series) const {
  return static_cast<std::size_t>(series_[static_cast<std::size_t>(series)].marks->count());
}

void TrendWindow::ShowCursor(double time) {
  cursor_ = time;
  DrawCursor();
}

void TrendWindow::HideCursor() {
  cursor_.reset();
  DrawCursor();
}

QString TrendWindow::CursorReadout(int chart) const {
  const Chart& c = charts_[static_cast<std::size_t>(chart)];
  return c.cursorBox->isVisible() ? c.cursorText->text() : QString();
}

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Redraw();
}

void TrendWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Redraw();
}

void TrendWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TrendWindow::Redraw() {
  if (data_ == nullptr) return;
  const auto [from, to] = VisibleRange();
  std::array<AxisSpan, kAxisCount> spans;
  std::array<Drawn, kTrendSeriesCount> drawn;
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    if (series_[static_cast<std::size_t>(s)].box->isChecked()) {
      drawn[static_cast<std::size_t>(s)] = Thin(s, from, to, spans[static_cast<std::size_t>(TrendSeriesKind(s))]);
    }
  }
  // Every change of an axis or a plot area redraws the series on it: they change while the series
  // are empty.
  for (Series& series : series_) {
    series.line->clear();
    series.marks->clear();
  }
  // The ticks are planned for the plot areas of the last layout; when the new labels change them
  // much (the first time, or a date that comes or goes), once more for the new ones.
  const QSizeF before = charts_[kTemperatureChart].chart->plotArea().size();
  SetAxes(from, to, spans);
  const QSizeF after = charts_[kTemperatureChart].chart->plotArea().size();
  if (std::abs(after.width() - before.width()) > after.width() / 20) SetAxes(from, to, spans);
  for (std::size_t s = 0; s < series_.size(); ++s) {
    series_[s].line->replace(drawn[s].line);
    if (!drawn[s].marks.isEmpty()) series_[s].marks->replace(drawn[s].marks);
  }
  DrawCursor();
}

TrendWindow::Drawn TrendWindow::Thin(int series, double from, double to, AxisSpan& span) const {
  const TrendKind kind = TrendSeriesKind(series);
  // The view's width: a few columns more than the plot area has, never fewer.
  const int columns = std::max(1, charts_[static_cast<std::size_t>(ChartOf(kind))].view->width());
  const std::vector<TrendPoint> points = ThinTrend(*data_, series, from, to, columns);
  const auto toChart = [&](const std::vector<TrendPoint>& thinned) {
    QList<QPointF> chartPoints;
    chartPoints.reserve(static_cast<qsizetype>(thinned.size()));
    for (const TrendPoint& p : thinned) {
      // A value past float's range (a huge temperature converted to Fahrenheit) would take the axis
      // with it, and every other line of the chart: it is a gap.
      const double value = std::isfinite(p.value) ? p.value : std::nan("");
      chartPoints.append(QPointF(p.time * 1000, value));
      if (!std::isnan(value) && p.time >= from && p.time <= to) span.Take(value);
    }
    return chartPoints;
  };
  return {toChart(kind == TrendKind::kRelay ? AsSteps(points) : points), toChart(LonePoints(points))};
}

void TrendWindow::SetAxes(double from, double to, const std::array<AxisSpan, kAxisCount>& spans) {
  // The relay's axis stays at Off and On.
  for (const TrendKind kind : {TrendKind::kTemperature, TrendKind::kMoisture, TrendKind::kVoltage}) {
    const auto k = static_cast<std::size_t>(kind);
    spans[k].ApplyTo(axes_[k], charts_[static_cast<std::size_t>(ChartOf(kind))].chart->plotArea().height());
  }
  axes_[static_cast<std::size_t>(TrendKind::kTemperature)]->setTitleText(
      data_->Fahrenheit() ? QStringLiteral("Temperature [\u00B0F]") : QStringLiteral("Temperature [\u00B0C]"));
  SetTimeAxes(from, to);
  AlignPlotAreas();
}

void TrendWindow::SetTimeAxes(double from, double to) {
  const QFontMetricsF metrics(charts_[kTemperatureChart].time->labelsFont());
  const double plotWidth = charts_[kTemperatureChart].chart->plotArea().width();
  // Before the first layout the plot area is unknown; most of the view is a fair guess.
  const double width = plotWidth > 0 ? plotWidth : charts_[kTemperatureChart].view->width() * 0.7;
  const TimeAxisPlan plan = PlanTimeAxis(from, to, width, metrics.height(), [&](const char* format) {
    return metrics.horizontalAdvance(QString::fromStdString(TimeLabel(from, format)));
  });
  const std::vector<double> ticks = TimeTicks(from, to, plan.step);
  for (Chart& c : charts_) {
    for (const QString& label : c.time->categoriesLabels()) c.time->remove(label);
    c.time->setStartValue(from * 1000);
    for (const double tick : ticks) c.time->append(QString::fromStdString(TimeLabel(tick, plan.format)), tick * 1000);
    c.time->setRange(from * 1000, to * 1000);
  }
}

// Each chart lays itself out around its own axis labels and legend; margins that make up the
// difference give every chart the narrowest plot area of them, so that one instant is one vertical
// line through all of them. Whole pixels go to the chart's margins, the rest to its layout's. Each
// layout redraws every series: a chart is laid out again only when its margins change.
void TrendWindow::AlignPlotAreas() {
  std::array<QRectF, 3> natural;
  for (std::size_t i = 0; i < charts_.size(); ++i) {
    const Chart& c = charts_[i];
    c.chart->layout()->activate();
    natural[i] = c.chart->plotArea().adjusted(-c.extraLeft, 0, c.extraRight, 0);
  }
  const double left = std::max({natural[0].left(), natural[1].left(), natural[2].left()});
  const double right = std::min({natural[0].right(), natural[1].right(), natural[2].right()});
  if (!(right > left)) return;
  for (std::size_t i = 0; i < charts_.size(); ++i) {
    Chart& c = charts_[i];
    const double extraLeft = left - natural[i].left();
    const double extraRight = natural[i].right() - right;
    if (std::abs(extraLeft - c.extraLeft) < kSamePixel && std::abs(extraRight - c.extraRight) < kSamePixel) continue;
    c.extraLeft = extraLeft;
    c.extraRight = extraRight;
    c.chart->setMargins(kChartMargins + QMargins(static_cast<int>(extraLeft), 0, static_cast<int>(extraRight), 0));
    c.chart->layout()->setContentsMargins(layoutMargins_.left + std::fmod(extraLeft, 1.0), layoutMargins_.top,
                                          layoutMargins_.right + std::fmod(extraRight, 1.0), layoutMargins_.bottom);
    c.chart->layout()->activate();
  }
}

void TrendWindow::DrawCursor() {
  const auto [from, to] = VisibleRange();
  const std::size_t pass = data_ != nullptr && cursor_ ? NearestIndex(*data_, *cursor_) : 0;
  const bool shown =
      data_ != nullptr && cursor_ && pass < data_->Size() && data_->Time(pass) >= from && data_->Time(pass) <= to;
  for (std::size_t chart = 0; chart < charts_.size(); ++chart) {
    Chart& c = charts_[chart];
    c.cursorLine->setVisible(shown);
    c.cursorBox->setVisible(shown);
    if (!shown) continue;
    const QRectF area = c.chart->plotArea();
    const double x = area.left() + (data_->Time(pass) - from) / (to - from) * area.width();
    c.cursorLine->setLine(x, area.top(), x, area.bottom());
    c.cursorText->setText(ReadoutText(chart, pass));
    constexpr qreal kPadding = 4;
    const QRectF text = c.cursorText->boundingRect();
    const qreal width = text.width() + 2 * kPadding;
    // Beside the line, on the side that has room.
    const qreal boxLeft = x + kPadding + width <= area.right() ? x + kPadding : x - kPadding - width;
    c.cursorBox->setRect(0, 0, width, text.height() + 2 * kPadding);
    c.cursorBox->setPos(boxLeft, area.top() + kPadding);
    c.cursorText->setPos(kPadding, kPadding);
  }
}

// The instant on the temperature chart, then every series of the chart that is ticked.
QString TrendWindow::ReadoutText(std::size_t chart, std::size_t pass) const {
  QStringList lines;
  if (chart == kTemperatureChart) lines << QString::fromStdString(TimeLabel(data_->Time(pass), kCursorTimeFormat));
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    const TrendKind kind = TrendSeriesKind(s);
    if (static_cast<std::size_t>(ChartOf(kind)) != chart || !series_[static_cast<std::size_t>(s)].box->isChecked()) {
      continue;
    }
    lines << FromWindowsText(TrendSeriesName(s)) + QStringLiteral(": ") +
                 ValueText(kind, data_->Value(s, pass), data_->Fahrenheit());
  }
  return lines.join(QLatin1Char('\n'));
}

bool TrendWindow::SavePng(const QString& path, QString& reason) {
  const QFileInfo existing(path);
  if (existing.exists() && !existing.isFile()) {
    reason = QStringLiteral("Not a regular file");  // renamed over, a pipe or a device would be gone
    return false;
  }
  Redraw();
  QByteArray png;
  QBuffer buffer(&png);
  chartArea_->grab().save(&buffer, "PNG");  // in memory: only the file below can fail, with the system's reason
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && WriteAll(file, png) && file.commit()) return true;
  reason = file.errorString();
  return false;
}

void TrendWindow::SavePngAsked() {
  const QString path = ChooseFilePath(this, FileAccess::kSave, QStringLiteral("trend.png"), QStringLiteral("png"));
  if (path.isEmpty()) return;
  QString reason;
  if (!SavePng(path, reason)) ShowAppMessage(this, QStringLiteral("The picture could not be written to %1.").arg(path));
}

}  // namespace gelvar
