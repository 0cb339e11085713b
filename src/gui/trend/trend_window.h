// "Trend": the variables over time in three charts (temperatures; moisture and voltages; the heating
// relay), for the passes read live or for a log file. The charts share one time axis, their plot
// areas aligned so that one instant is one vertical line; the cursor reads the pass under the mouse
// on all of them. The view follows the newest point until the user zooms or pans; only what the
// pixel columns can show is handed to the charts.
#pragma once

#include <QList>
#include <QPointF>
#include <QWidget>

#include <array>
#include <optional>
#include <utility>

#include "core/trend/trend_data.h"

class QCategoryAxis;
class QChart;
class QCheckBox;
class QGraphicsLineItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QValueAxis;

namespace gelvar {

class TrendChartView;

// Control numbers of the window; a series' check box is TrendSeriesBox(series).
enum TrendControlId : int {
  kTrendSeriesBoxes = 1201,
  kTrendZoomIn = 1220,
  kTrendZoomOut = 1221,
  kTrendShowAll = 1222,
  kTrendFollow = 1223,
  kTrendSavePng = 1224,
  kTrendCharts = 1230,
};
constexpr int TrendSeriesBox(int series) { return kTrendSeriesBoxes + series; }

class TrendWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TrendWindow(const QString& title);
  ~TrendWindow() override;

  // Draws data that someone else keeps and adds to (call DataChanged after each point).
  void Follow(const TrendData& data);
  // Draws a trend of its own, such as a log file read back.
  void Plot(TrendData data, const QString& title);
  void DataChanged();

  // The charts as a picture, written beside path and renamed over it, so that a write that fails
  // leaves what was there. Only a regular file or a new name; false with the reason otherwise.
  bool SavePng(const QString& path, QString& reason);

  bool Following() const { return follow_; }
  // Seconds since the epoch.
  std::pair<double, double> VisibleRange() const;
  // Zooms around the time at `anchor` (0 left edge .. 1 right edge); factor < 1 zooms in.
  void Zoom(double factor, double anchor = 0.5);
  void Pan(double seconds);
  std::size_t ShownPoints(int series) const;
  // Points drawn as marks: those no line reaches.
  std::size_t ShownMarks(int series) const;

  // Reads the pass nearest to `time` on every chart, until HideCursor.
  void ShowCursor(double time);
  void HideCursor();
  // What the cursor's box on a chart says (empty while hidden), for the temperature chart (0),
  // moisture and voltage (1) and the relay (2).
  QString CursorReadout(int chart) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Chart {
    TrendChartView* view = nullptr;
    QChart* chart = nullptr;
    QCategoryAxis* time = nullptr;
    QGraphicsLineItem* cursorLine = nullptr;
    QGraphicsRectItem* cursorBox = nullptr;
    QGraphicsSimpleTextItem* cursorText = nullptr;
    double extraLeft = 0;  // what AlignPlotAreas added to the chart's own margins
    double extraRight = 0;
  };
  struct Series {
    QLineSeries* line = nullptr;
    QScatterSeries* marks = nullptr;
    QCheckBox* box = nullptr;
  };
  struct AxisSpan;
  struct Drawn {
    QList<QPointF> line;
    QList<QPointF> marks;
  };
  static constexpr std::size_t kAxisCount = 4;  // one per TrendKind

  void BuildCharts(QWidget* area);
  QWidget* BuildControls();
  void FollowNewest(double span);
  void Hold(std::pair<double, double> range);
  void SavePngAsked();
  void Redraw();
  Drawn Thin(int series, double from, double to, AxisSpan& span) const;
  void SetAxes(double from, double to, const std::array<AxisSpan, kAxisCount>& spans);
  void SetTimeAxes(double from, double to);
  void AlignPlotAreas();
  void DrawCursor();
  QString ReadoutText(std::size_t chart, std::size_t pass) const;

  const TrendData* data_ = nullptr;
  std::optional<TrendData> own_;
  std::array<Chart, 3> charts_;
  std::array<Series, kTrendSeriesCount> series_;
  std::array<QValueAxis*, kAxisCount> axes_{};
  QWidget* chartArea_ = nullptr;
  QPushButton* followButton_ = nullptr;
  bool follow_ = true;
  double span_ = 0;  // while following: the seconds shown up to the newest point; 0 shows everything
  std::pair<double, double> range_{0, 0};  // when not following
  struct {
    qreal left = 0, top = 0, right = 0, bottom = 0;
  } layoutMargins_;               // the charts' layouts' own, which AlignPlotAreas adds to
  std::optional<double> cursor_;  // the time under the mouse
};

}  // namespace gelvar
