#include "core/monitor/read_cycle.h"

#include "core/link/link.h"
#include "core/monitor/message_pane.h"

namespace gelvar {

const ParameterList& ParameterEntries() {
  static const ParameterList kList = {{
      {&DeviceModel::ReadLanguageUnit, 0},
      {&DeviceModel::ReadModeHeating, 0},
      {&DeviceModel::ReadSensorType, 0},
      {&DeviceModel::ReadModeSystem, 0},
      {&DeviceModel::ReadMinHeatingTime, 0},
      {&DeviceModel::ReadSensorType, 1},
      {&DeviceModel::ReadVersion, 0},
      {&DeviceModel::ReadHighTempLimit, 0},
      {&DeviceModel::ReadSensorMode, 0},
      {&DeviceModel::ReadLowTempLimit, 0},
      {&DeviceModel::ReadSensorMode, 1},
      {&DeviceModel::ReadIdleTemp, 0},
      {&DeviceModel::ReadSensorMoistLimit, 0},
      {&DeviceModel::ReadHeatingMoistLimit, 0},
      {&DeviceModel::ReadSensorMoistLimit, 1},
      {&DeviceModel::ReadAlarmMode, 0},
      {&DeviceModel::ReadOpHours, 1},
      {&DeviceModel::ReadOpHoursXWK, 1},
      {nullptr, 0},
  }};
  return kList;
}

const VariableList& VariableEntries() {
  // Sensor 2's state is read before sensor 1's.
  static const VariableList kList = {{
      {&DeviceModel::ReadAdmErrFlags, 0},
      {&DeviceModel::ReadSensorTemps, 0},
      {&DeviceModel::ReadAdmIntState, 0},
      {&DeviceModel::ReadSensorMoisture, 0},
      {&DeviceModel::ReadHeatingState, 0},
      {&DeviceModel::ReadSensorElectric, 0},
      {&DeviceModel::ReadHeatingTemps, 0},
      {&DeviceModel::ReadSensorState, 1},
      {&DeviceModel::ReadHeatingRelay, 0},
      {&DeviceModel::ReadSensorTemps, 1},
      {&DeviceModel::ReadOpHours, 0},
      {&DeviceModel::ReadSensorMoisture, 1},
      {&DeviceModel::ReadOpHoursXWK, 0},
      {&DeviceModel::ReadSensorElectric, 1},
      {&DeviceModel::ReadSensorState, 0},
      {nullptr, 0},
  }};
  return kList;
}

void ReadCycle::OnTimer() {
  RunParameterReader();
  RunVariableReader();
  RunLogTimer();
  RunStepDriver();
}

int ReadCycle::BeginStep(StepHandler handler, std::uint32_t objectId) {
  if (stepState_ != kStepIdle) return kStepRefused;
  currentObjectId_ = objectId;
  currentHandler_ = handler;
  stepRequest_.count = 0;
  stepState_ = kStepStart;
  return kStepBegun;
}

void ReadCycle::StartLogging() {
  logSetCounter_ = 0;
  logCountdown_ = 0;
  logState_ = kLogWrite;
}

bool ReadCycle::AdvanceReader(int& state, int& index, int& progress, const ListEntry* list) {
  switch (state) {
    case kReaderStart:
      index = 0;
      if (stepState_ == kStepIdle) state = kReaderIssue;
      return false;
    case kReaderIssue:
      // A refused begin is tried again at the next message.
      if ((model_.*list[index].handler)(1, list[index].argument) == kStepRefused) {
        host_.AddMessage(kMsgTransferError);
      } else {
        state = kReaderWait;
      }
      return false;
    case kReaderWait:
      if (stepState_ != kStepIdle) return false;
      progress = index;
      host_.Refresh();
      ++index;
      if (list[index].handler == nullptr) return true;
      state = kReaderIssue;
      return false;
    default: return false;
  }
}

void ReadCycle::RunParameterReader() {
  if (paramState_ == kReaderIdle) {
    progress_.parameters = 0;
    return;
  }
  if (!AdvanceReader(paramState_, paramIndex_, progress_.parameters, ParameterEntries().data())) return;
  host_.AddMessage(kMsgParametersOk);
  paramState_ = kReaderIdle;
  host_.ParametersRead();
}

void ReadCycle::RunVariableReader() {
  switch (varState_) {
    case kReaderIdle:
      progress_.pause = 0;
      progress_.variables = 0;
      break;
    case kReaderPause:
      progress_.variables = 0;
      progress_.pause = kVariablePauseMs - intervalCountdown_;
      intervalCountdown_ -= link_.periods.tick;
      if (intervalCountdown_ < 0) varState_ = kReaderIssue;
      break;
    default:
      if (!AdvanceReader(varState_, varIndex_, progress_.variables, VariableEntries().data())) break;
      varIndex_ = 0;
      intervalCountdown_ = kVariablePauseMs;
      varState_ = kReaderPause;
      passSinceRecord_ = true;
      host_.VariablePassEnded();
      break;
  }
}

void ReadCycle::RunLogTimer() {
  switch (logState_) {
    case kLogOff:
      logSetCounter_ = 0;
      progress_.logging = 0;
      break;
    case kLogWrite:
      host_.WriteLogRecord(++logSetCounter_);
      passSinceRecord_ = false;
      // Records are due on the grid of the first one: waiting for a pass end delays a record but
      // not the ones after it, or a day at one minute would end with fewer records than minutes.
      // A pass longer than the interval skips the due times it covered.
      do {
        logCountdown_ += logMinutes_ * 60000;
      } while (logCountdown_ < 0);
      logState_ = kLogWait;
      host_.Refresh();
      break;
    case kLogWait:
      progress_.logging = logMinutes_ * 60 - logCountdown_ / 1000;
      logCountdown_ -= link_.periods.tick;
      // After the first record, each record holds a pass of its own: it waits for a pause that
      // follows a pass it has not logged yet.
      if (logCountdown_ < 0 && varState_ == kReaderPause && passSinceRecord_) {
        logState_ = kLogWrite;
        logCountdown_ -= link_.periods.tick;  // the time of the message that writes it
      }
      break;
  }
}

StepOutcome ReadCycle::TakeOutcome(int pollResult) {
  if (pollResult == kPollFailed) {
    host_.AddMessage(kMsgNoReply);
    return StepOutcome::kNoReply;
  }
  if (pollResult == kPollIdle) return StepOutcome::kNothingRunning;
  const int reply = currentHandler_ != nullptr ? (model_.*currentHandler_)(2, pollResult) : kReplyAccepted;
  if (reply == kReplyWrongFormat) {
    host_.AddMessage(kMsgWrongFormat);
    return StepOutcome::kWrongFormat;
  }
  if (reply == kReplyWrongCommand) {
    host_.AddMessage(kMsgWrongCommand);
    return StepOutcome::kWrongCommand;
  }
  return StepOutcome::kAccepted;
}

void ReadCycle::RunStepDriver() {
  switch (stepState_) {
    case kStepStart:
      if (currentHandler_ != nullptr && transaction_.Start(currentObjectId_, &stepRequest_) != 0) {
        stepState_ = kStepWait;
      }
      break;
    case kStepWait: {
      int tries = 0;
      int cycles = 0;
      int waitedMs = 0;
      const int result = transaction_.Poll(&stepRequest_, &tries, &cycles, &waitedMs);
      if (result == kPollBusy) break;
      settleCountdown_ = 0;
      stepState_ = kStepSettle;
      const StepOutcome outcome = TakeOutcome(result);
      host_.StepEnded(currentObjectId_, outcome);
      break;
    }
    case kStepSettle:
      settleCountdown_ -= link_.periods.tick;
      if (settleCountdown_ < 0) stepState_ = kStepIdle;
      break;
    default: break;
  }
}

}  // namespace gelvar
