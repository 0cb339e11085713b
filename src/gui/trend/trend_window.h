// "Trend": the variables over time in three charts (temperatures; moisture and voltages; the heating
// relay), for the passes read live or for a log file. The view follows the newest point until the
// user zooms or pans; only what the pixel columns can show is handed to the charts.
#pragma once

#include <QWidget>

#include <array>
#include <optional>
#include <utility>

#include "core/trend/trend_data.h"

class QChart;
class QCheckBox;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
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

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Chart {
    TrendChartView* view = nullptr;
    QChart* chart = nullptr;
    QDateTimeAxis* time = nullptr;
  };
  struct Series {
    QLineSeries* line = nullptr;
    QCheckBox* box = nullptr;
  };
  static constexpr std::size_t kAxisCount = 4;  // one per TrendKind

  void BuildCharts(QWidget* area);
  QWidget* BuildControls();
  void FollowNewest(double span);
  void Hold(std::pair<double, double> range);
  void SavePngAsked();
  void Redraw();

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
};

}  // namespace gelvar
