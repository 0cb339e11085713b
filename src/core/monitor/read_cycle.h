// The main window's sequencer: parameter reader, variable reader, log timer and the step driver that
// carries the one device step in progress through the link transaction. Runs once per window timer
// message, the four parts in this order.
#pragma once

#include <array>
#include <cstdint>

#include "core/link/converter.h"
#include "core/link/transaction.h"
#include "core/monitor/device_model.h"

namespace gelvar {

struct ListEntry {
  StepHandler handler;  // null ends a list
  int argument;
};

inline constexpr std::size_t kParameterCount = 18;
inline constexpr std::size_t kVariableCount = 15;
using ParameterList = std::array<ListEntry, kParameterCount + 1>;
using VariableList = std::array<ListEntry, kVariableCount + 1>;
const ParameterList& ParameterEntries();
const VariableList& VariableEntries();

inline constexpr std::int32_t kVariablePauseMs = 2000;
inline constexpr int kDefaultLogMinutes = 5;

// How a device step ended.
enum class StepOutcome {
  kAccepted,
  kWrongFormat,
  kWrongCommand,
  kNoReply,         // the transaction failed
  kNothingRunning,  // the transaction had nothing for the step (its outcome was lost)
};

// What the sequencer asks of the monitor around it.
class ReadCycleHost {
 public:
  virtual ~ReadCycleHost() = default;
  virtual void AddMessage(int code) = 0;
  virtual void Refresh() = 0;
  // Writes record setNumber of the variable log.
  virtual void WriteLogRecord(int setNumber) = 0;
  // The parameter reader passed its last entry (its message is added already).
  virtual void ParametersRead() = 0;
  virtual void VariablePassEnded() = 0;
  virtual void StepEnded(std::uint32_t objectId, StepOutcome outcome) = 0;
};

// Positions of the four progress bars.
struct ProgressValues {
  int parameters = 0;  // index of the last finished parameter entry
  int variables = 0;   // index of the last finished variable entry
  int pause = 0;       // milliseconds of the pause between passes
  int logging = 0;     // seconds of the log interval
  bool operator==(const ProgressValues&) const = default;
};

class ReadCycle {
 public:
  ReadCycle(Link& link, DeviceModel& model, ReadCycleHost& host)
      : link_(link), transaction_(link), model_(model), host_(host) {}

  // One window timer message.
  void OnTimer();

  // 0 begun, 1 refused (a step is in progress; nothing of it changes).
  int BeginStep(StepHandler handler, std::uint32_t objectId);
  ObjectRequest& StepRequest() { return stepRequest_; }
  StepHandler CurrentHandler() const { return currentHandler_; }
  std::uint32_t CurrentObjectId() const { return currentObjectId_; }
  bool StepIdle() const { return stepState_ == kStepIdle; }
  // Begun, and its reply not yet handed to its handler.
  bool StepAwaitingReply() const { return stepState_ == kStepStart || stepState_ == kStepWait; }

  void StartParameterReading() { paramState_ = kReaderStart; }
  void StartVariableReading() { varState_ = kReaderStart; }
  void StopVariableReading() { varState_ = kReaderIdle; }
  void StartLogging();
  void StopLogging() { logState_ = kLogOff; }

  int LogSetCounter() const { return logSetCounter_; }
  int LogMinutes() const { return logMinutes_; }
  void SetLogMinutes(int minutes) { logMinutes_ = minutes; }
  const ProgressValues& Progress() const { return progress_; }

 private:
  enum StepState { kStepIdle = 0, kStepStart = 1, kStepWait = 2, kStepSettle = 3 };
  enum ReaderState { kReaderIdle = 0, kReaderStart = 1, kReaderIssue = 2, kReaderWait = 3, kReaderPause = 4 };
  enum LogState { kLogOff = 0, kLogWrite = 1, kLogWait = 2 };

  void RunParameterReader();
  void RunVariableReader();
  void RunLogTimer();
  void RunStepDriver();
  // States 1 to 3 of a reader over a list that ends with an empty entry; true when the reader has
  // just passed the list's last entry.
  bool AdvanceReader(int& state, int& index, int& progress, const ListEntry* list);
  // Hands a finished transaction's result to the step's handler and reports failures.
  StepOutcome TakeOutcome(int pollResult);

  const Link& link_;
  LinkTransaction transaction_;
  DeviceModel& model_;
  ReadCycleHost& host_;

  StepHandler currentHandler_ = nullptr;
  std::uint32_t currentObjectId_ = 0;
  ObjectRequest stepRequest_{};
  int stepState_ = kStepIdle;
  std::int32_t settleCountdown_ = 0;

  int paramState_ = kReaderIdle;
  int paramIndex_ = 0;
  int varState_ = kReaderIdle;
  int varIndex_ = 0;
  std::int32_t intervalCountdown_ = 0;
  int logState_ = kLogOff;
  std::int32_t logCountdown_ = 0;  // until the next record is due; below 0 while it waits for a pass
  bool passSinceRecord_ = false;   // a pass has ended since the last record
  int logSetCounter_ = 0;
  int logMinutes_ = kDefaultLogMinutes;

  ProgressValues progress_;
};

}  // namespace gelvar
