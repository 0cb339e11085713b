// The sensor test: short request/reply sequences against one sensor of the unit (temperature, a
// measuring cycle, the data recorded during the last cycle) and the test report. Window-free: each
// thing a user can do is a named operation; new log entries and failed steps come as events.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/common/file_appender.h"
#include "core/common/operation.h"
#include "core/link/converter.h"
#include "core/link/transaction.h"
#include "core/timing/timer_host.h"

namespace gelvar {

inline constexpr int kRecordedSetLimit = 256;

inline constexpr const char* kSensorReportDefaultName = "report.dat";
inline constexpr const char* kSensorReportDefaultExtension = "dat";
// What the front ends say once a report is saved, the file's path after it.
inline constexpr const char* kSensorReportSaved = "Report saved in file ";

// What the sequence tells its front end while it is open. Every method has an empty default.
class SensorSequenceEvents {
 public:
  virtual ~SensorSequenceEvents() = default;
  // A new entry on top of the log (Windows-1252; an entry may hold CR LF inside).
  virtual void EntryAdded(const std::string& /*entry*/) {}
  // A timer message ran a step: the log, the counters or the data set may have changed.
  virtual void Changed() {}
  // A step got no fitting reply; the sequence has ended. Shown in a box, which may run a nested
  // event loop in which timer messages arrive.
  virtual void StepFailed(const std::string& /*text*/) {}
};

// Everything a recorded test yields; the report is written from it.
struct SensorTestValues {
  int Tm = 0;  // seconds between two data sets
  int Tv = 0;
  int Ti = 0;
  int dataSetTotal = 0;  // N as computed from the timing values
  std::array<float, kRecordedSetLimit> Uv{};
  std::array<float, kRecordedSetLimit> Us{};
  std::array<float, kRecordedSetLimit> Ts{};
  float Uo = 0.0f;
  float Uso = 0.0f;
  float To = 0.0f;
  float Rs = 0.0f;
  float Rm = 0.0f;  // Ri for Type I, Rsh for Type II; the report's resistance column scales by it
  float dERdt = 0.0f;
  float tK = 0.0f;
  float fx = 0.0f;
  float Kf = 0.0f;
};

// The bytes one report adds to the file (Windows-1252, CR LF, decimal commas). sensorType 0 is
// Type I, anything else Type II.
std::string SensorTestReport(const SensorTestValues& values, int sensorType);

// A measuring cycle the unit has started: its ta and the seconds of it still to come.
struct CycleCountdown {
  int seconds;
  int left;  // never below 0, also while the unit records longer than ta
};

class SensorSequence {
 public:
  // The steps run on the one link transaction, shared with the main window; the report goes
  // through files.
  SensorSequence(Link& link, TimerHost& timers, FileAppender& files)
      : link_(link), transaction_(link), timers_(timers), files_(files) {}
  ~SensorSequence();
  SensorSequence(const SensorSequence&) = delete;
  SensorSequence& operator=(const SensorSequence&) = delete;

  // The dialog opens: starts the timer at the current tick period. The listener must outlive the
  // matching Close().
  void Open(SensorSequenceEvents& listener);
  // The dialog closes: the timer stops, everything else stays for the next Open.
  void Close();

  Result ReadTemperature(int sensor);  // sensor 0 or 1
  // Fails with its box's text when the sensor's ta is not valid.
  Result StartCycle(int sensor);
  Result ReadRecordedData();
  // ta as typed, in seconds; fails with its box's text outside 1..1000, and ta is then 0.
  Result SetTa(int sensor, const std::string& text);
  void SetSensorType(int type) { sensorType_ = type; }  // 0 Type I, 1 Type II
  void SetDescription(const std::string& text) { description_ = text; }
  Result SaveReport(const Answer<std::string>& path);
  void OnTimer();

  const std::string& LogText() const { return logText_; }
  int DataSetShown() const { return dataSetShown_; }
  int Refused() const { return refused_; }
  int Waited() const { return waited_; }
  int Cycles() const { return cycles_; }
  const std::string& Description() const { return description_; }
  int SensorType() const { return sensorType_; }
  const std::string& TaText(int sensor) const { return taText_[Index(sensor)]; }
  int Ta(int sensor) const { return ta_[Index(sensor)]; }
  int TestStep() const { return testStep; }
  int DataSetIndex() const { return dataSetIndex; }
  const SensorTestValues& Values() const { return values; }
  const std::string& ReportFileName() const { return reportFileName; }
  // While a started cycle is followed; none otherwise.
  std::optional<CycleCountdown> Countdown() const;

 private:
  static std::size_t Index(int sensor) { return sensor == 0 ? 0 : 1; }
  void RunStep();
  bool OwnTransactionRuns() const;
  bool CountdownElapsed();
  void BeginRequest();
  std::uint32_t BuildRequest();
  void TakeReply(int count);
  void FailStep();
  void EndSequence() { testStep = 14; }
  int SensorNumber() const { return sensorIndex + 1; }

  void TakeSensorTemperature();
  void TakeCycleStart();
  void TakeSensorData();
  void TakeSensorState();
  void TakeStartValues();
  void TakeHundredths();
  void TakeTiming();
  void TakeVoltages(int count);
  void TakeTemperature(int count);
  void TakeResults();

  const Link& link_;
  LinkTransaction transaction_;
  TimerHost& timers_;
  FileAppender& files_;
  SensorSequenceEvents* listener_ = nullptr;
  TimerId timer_ = -1;
  // The number of the transaction this test started last. A step polls only that one, so that it takes
  // no reply of the main window's; a later step lets it end before it starts its own.
  std::uint32_t ownTransaction_ = 0;

  std::string logText_;
  int dataSetShown_ = 0;
  int refused_ = 0;
  int waited_ = 0;
  int cycles_ = 0;
  std::string description_;
  int sensorType_ = 1;
  std::array<std::string, 2> taText_ = {"250", "250"};
  std::array<int, 2> ta_ = {250, 250};

  int testStep = 0;
  int requestPending = 0;
  int sensorIndex = 0;
  int cycleTime = 0;
  std::int64_t cycleStartMs_ = 0;  // when the unit accepted the start
  std::uint32_t waitCountdown = 0;
  int dataSetIndex = 0;
  SensorTestValues values;
  ObjectRequest testRequest{};
  std::string pendingLine;
  std::string reportFileName;
};

}  // namespace gelvar
