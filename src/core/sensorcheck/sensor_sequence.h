// The sensor test: short request/reply sequences against one sensor of the unit (temperature, a
// measuring cycle, the data recorded during the last cycle) and the test report. Window-free: the
// dialog binds the public members below to its controls and forwards its events to the handlers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/common/file_appender.h"
#include "core/link/converter.h"
#include "core/link/transaction.h"
#include "core/timing/timer_host.h"

namespace gelvar {

inline constexpr int kRecordedSetLimit = 256;

enum class AlertIcon { kExclamation, kQuestion };

// What the sensor test needs of its dialog.
class SensorTestView {
 public:
  virtual ~SensorTestView() = default;
  // Writes the bound members into the controls.
  virtual void Refresh() = 0;
  // A message box with an OK button. It may run a nested event loop in which timer messages arrive.
  virtual void Alert(const std::string& text, AlertIcon icon) = 0;
  // Save As without overwrite prompt; false when the user cancels.
  virtual bool ChooseSaveFile(const std::string& defaultName, const std::string& extension, std::string& path) = 0;
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

class SensorTest {
 public:
  // The steps run on the one link transaction, shared with the main window; the report goes
  // through files.
  SensorTest(Link& link, TimerHost& timers, FileAppender& files)
      : link_(link), transaction_(link), timers_(timers), files_(files) {}
  ~SensorTest();
  SensorTest(const SensorTest&) = delete;
  SensorTest& operator=(const SensorTest&) = delete;

  // Bound to the dialog's controls. The dialog writes what the user changes (ta texts, type,
  // description) into these as it changes, before it calls the matching handler, so they hold the
  // controls' state whenever a handler or timer message runs; Refresh() shows them again.
  std::string logText;
  int dataSetShown = 0;
  int refusedShown = 0;
  int waitedShown = 0;
  int cyclesShown = 0;
  std::string description;
  int sensorType = 1;  // radio group: 0 Type I, 1 Type II
  std::string ta1Text = "250";
  std::string ta2Text = "250";

  // The dialog opens: refreshes it, validates both ta fields, starts the timer at the current tick
  // period. The view must outlive the matching Close().
  void Open(SensorTestView& view);
  // The dialog closes: the timer stops, everything else stays for the next Open.
  void Close();

  void OnTemperature(int sensor);  // sensor 0 or 1
  void OnStartCycle(int sensor);
  void OnReadRecordedData();
  void OnTypeChanged(int type);
  void OnTaChanged(int sensor);
  void OnTimer();
  void SaveReport();

  int TestStep() const { return testStep; }
  int Ta(int sensor) const { return sensor == 0 ? ta1 : ta2; }
  int DataSetIndex() const { return dataSetIndex; }
  const SensorTestValues& Values() const { return values; }
  const std::string& ReportFileName() const { return reportFileName; }

 private:
  void RunStep();
  bool OwnTransactionRuns() const;
  bool CountdownElapsed();
  void BeginRequest();
  std::uint32_t BuildRequest();
  void TakeReply(int count);
  void FailStep();
  void EndSequence() { testStep = 14; }
  void ShowAlert(const std::string& text, AlertIcon icon);
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
  SensorTestView* view_ = nullptr;
  TimerId timer_ = -1;
  // The number of the transaction this test started last. A step polls only that one, so that it takes
  // no reply of the main window's; a later step lets it end before it starts its own.
  std::uint32_t ownTransaction_ = 0;

  int ta1 = 0;
  int ta2 = 0;
  int testStep = 0;
  int requestPending = 0;
  int sensorIndex = 0;
  int cycleTime = 0;
  std::uint32_t waitCountdown = 0;
  int dataSetIndex = 0;
  SensorTestValues values;
  ObjectRequest testRequest{};
  std::string pendingLine;
  std::string reportFileName;
};

}  // namespace gelvar
