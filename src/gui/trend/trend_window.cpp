#include "gui/trend/trend_window.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <QtCharts/QChartView>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "gui/ui/widget_support.h"

namespace gelvar {

// A chart that zooms with the mouse wheel and pans with the left button dragged; both act on the
// time axis of every chart of the window.
class TrendChartView : public QChartView {
 public:
  TrendChartView(QChart* chart, TrendWindow& window) : QChartView(chart), window_(window) {
    setRenderHint(QPainter::Antialiasing, false);  // thousands of short segments: faster without
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const double factor = event->angleDelta().y() > 0 ? 1 / kWheelZoom : kWheelZoom;
    window_.Zoom(factor, PlotFraction(event->position().x()));
    event->accept();
  }
  void mousePressEvent(QMouseEvent* event) override {
    dragX_ = event->position().x();
    event->accept();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const double width = chart()->plotArea().width();
    if (width <= 0) return;
    const auto [from, to] = window_.VisibleRange();
    window_.Pan((dragX_ - event->position().x()) / width * (to - from));
    dragX_ = event->position().x();
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }

 private:
  static constexpr double kWheelZoom = 1.25;

  double PlotFraction(double x) const {
    const QRectF area = chart()->plotArea();
    return area.width() > 0 ? std::clamp((x - area.left()) / area.width(), 0.0, 1.0) : 0.5;
  }

  TrendWindow& window_;
  double dragX_ = 0;
};

namespace {

enum ChartIndex { kTemperatureChart, kMoistureChart, kRelayChart };
constexpr double kButtonZoom = 2.0;
// One colour per series, so that no two lines of a chart look alike.
constexpr QRgb kColours[kTrendSeriesCount] = {0xd62728, 0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0x8c564b,
                                              0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0xd62728};
constexpr double kMinimumSpan = 10;  // seconds; a single point is shown with this much around it

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
  axis->setLabelFormat(QStringLiteral("%.1f"));
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
  chart->setMargins(QMargins(4, 4, 4, 4));
  return chart;
}

// Lowest and highest value drawn on one axis, with a little room above and below.
struct AxisSpan {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Take(double value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
  void ApplyTo(QValueAxis* axis) const {
    if (!(low <= high)) {
      axis->setRange(0, 1);
      return;
    }
    const double room = std::max((high - low) * 0.05, 0.5);
    axis->setRange(low - room, high + room);
  }
};

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
  resize(1100, 760);
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::BuildCharts(QWidget* area) {
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  for (Chart& c : charts_) {
    c.chart = NewChart();
    c.time = new QDateTimeAxis;
    c.time->setTickCount(7);
    c.chart->addAxis(c.time, Qt::AlignBottom);
    c.view = new TrendChartView(c.chart, *this);
  }
  // One value axis per kind, in the order of TrendKind.
  axes_ = {
      AddValueAxis(charts_[kTemperatureChart].chart, QString(), Qt::AlignLeft),
      AddValueAxis(charts_[kMoistureChart].chart, QStringLiteral("Moisture"), Qt::AlignLeft),
      AddValueAxis(charts_[kMoistureChart].chart, QStringLiteral("Voltage [V]"), Qt::AlignRight),
      RelayAxis(charts_[kRelayChart].chart),
  };
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    const TrendKind kind = TrendSeriesKind(s);
    Chart& c = charts_[static_cast<std::size_t>(ChartOf(kind))];
    QLineSeries*& line = series_[static_cast<std::size_t>(s)].line;
    line = new QLineSeries;
    line->setName(FromWindowsText(TrendSeriesName(s)));
    line->setColor(QColor(kColours[s]));
    c.chart->addSeries(line);
    line->attachAxis(c.time);
    line->attachAxis(axes_[static_cast<std::size_t>(kind)]);
  }
  layout->addWidget(charts_[kTemperatureChart].view, 3);
  layout->addWidget(charts_[kMoistureChart].view, 2);
  charts_[kRelayChart].view->setFixedHeight(150);
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

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Redraw();
}

void TrendWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Redraw();
}

void TrendWindow::Redraw() {
  if (data_ == nullptr) return;
  const auto [from, to] = VisibleRange();
  const QString timeFormat = to - from < 86400 ? QStringLiteral("HH:mm:ss") : QStringLiteral("MM/dd/yy HH:mm");
  for (Chart& c : charts_) {
    c.time->setFormat(timeFormat);
    c.time->setRange(QDateTime::fromMSecsSinceEpoch(std::llround(from * 1000)),
                     QDateTime::fromMSecsSinceEpoch(std::llround(to * 1000)));
  }
  std::array<AxisSpan, kAxisCount> spans;
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    Series& series = series_[static_cast<std::size_t>(s)];
    if (!series.box->isChecked()) {
      series.line->clear();
      continue;
    }
    // The view's width: a few columns more than the plot area has, never fewer.
    const int columns = std::max(1, charts_[static_cast<std::size_t>(ChartOf(TrendSeriesKind(s)))].view->width());
    std::vector<TrendPoint> points = ThinTrend(*data_, s, from, to, columns);
    if (TrendSeriesKind(s) == TrendKind::kRelay) points = AsSteps(points);
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(points.size()));
    AxisSpan& span = spans[static_cast<std::size_t>(TrendSeriesKind(s))];
    for (const TrendPoint& p : points) {
      // A value past float's range (a huge temperature converted to Fahrenheit) would take the axis
      // with it, and every other line of the chart: it is a gap.
      const double value = std::isfinite(p.value) ? p.value : std::nan("");
      line.append(QPointF(p.time * 1000, value));
      if (!std::isnan(value) && p.time >= from && p.time <= to) span.Take(value);
    }
    series.line->replace(line);
  }
  // The relay's axis stays at Off and On.
  for (const TrendKind kind : {TrendKind::kTemperature, TrendKind::kMoisture, TrendKind::kVoltage}) {
    spans[static_cast<std::size_t>(kind)].ApplyTo(axes_[static_cast<std::size_t>(kind)]);
  }
  axes_[static_cast<std::size_t>(TrendKind::kTemperature)]->setTitleText(
      data_->Fahrenheit() ? QStringLiteral("Temperature [\u00B0F]") : QStringLiteral("Temperature [\u00B0C]"));
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
