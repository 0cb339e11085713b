// What the main window knows of the detector unit: the object IDs, and the step handlers that ask the
// unit for an object and decode its reply into the value fields.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/link/converter.h"
#include "core/monitor/field_values.h"

namespace gelvar {

// Object IDs. Sensor objects are given for sensor 1; sensor 2's carry index 1 in kSensorIdMask.
enum ObjectId : std::uint32_t {
  kIdModeSystem = 0x3000,  // byte 0 mode, word 2 error flags
  kIdInternalState = 0x3001,
  kIdVersion = 0x3002,
  kIdLanguageUnit = 0x3003,
  kIdFactorySettings = 0x3004,
  kIdAlarmMode = 0x3008,
  kIdHeatingState = 0x0C00,
  kIdModeHeating = 0x0C01,
  kIdMinHeatingTime = 0x0C02,
  kIdHighTempLimit = 0x0C03,
  kIdLowTempLimit = 0x0C04,
  kIdIdleTemp = 0x0C05,
  kIdHeatingMoistLimit = 0x0C06,
  kIdHeatingTemps = 0x0C07,
  kIdHeatingRelay = 0x0C08,
  kIdMinHeatTimeCommand = 0x0C09,
  kIdOpHours = 0x0C0B,
  kIdOpHoursXWK = 0x0C0C,
  kIdSensorState = 0x0C80,
  kIdSensorType = 0x0C81,
  kIdSensorMode = 0x0C82,
  kIdSensorMoistLimit = 0x0C83,
  kIdSensorTemps = 0x0C84,
  kIdSensorMoisture = 0x0C85,
  kIdSensorElectric = 0x0C86,
  kIdMoistureCycle = 0x0C87,
};
inline constexpr std::uint32_t kSensorIdMask = 0x70;

enum CommunicationMode : int {
  kPortClosed = 0,
  kPortOpen = 1,
  kCommandRunning = 2,
  kReadingParameters = 3,
  kReadingVariables = 4,
  kLoggingVariables = 5,
};

// Phase 1 results, and phase 2 results.
enum StepResult : int { kStepBegun = 0, kStepRefused = 1 };
enum ReplyResult : int {
  kReplyAccepted = 0,
  kReplyAcceptedToo = 1,
  kReplyWrongFormat = 2,
  kReplyWrongCommand = 3,
};

class DeviceModel;
// Phase 1 (begin, value = argument) or 2 (reply, value = the reply's data count).
using StepHandler = int (DeviceModel::*)(int phase, int value);

// What the handlers need from the window around them.
class StepHost {
 public:
  virtual ~StepHost() = default;
  // 0 begun, 1 refused because another step is in progress.
  virtual int BeginStep(StepHandler handler, std::uint32_t objectId) = 0;
  // The request of the step in progress: data bytes out, the reply back.
  virtual ObjectRequest& StepRequest() = 0;
  // A command's reply was handled, whatever it said.
  virtual void CommandReplied() = 0;
  virtual void AddMessage(int code) = 0;
};

class DeviceModel {
 public:
  explicit DeviceModel(StepHost& host) : host_(host) {}

  const DisplayFields& Fields() const { return fields_; }
  const VariableSnapshot& Snapshot() const { return snapshot_; }
  // The log values as they stood when the step in progress began: its own values as their last
  // reading left them, before the step set them to not read.
  const VariableSnapshot& SnapshotBeforeStep() const { return beforeStep_; }
  int TemperatureUnitCode() const { return temperatureUnitCode_; }
  int PendingArgument() const { return pendingArgument_; }
  // The port went away: what is shown was read before.
  void MarkFieldsStale() { fields_.MarkAllStale(); }

  // Parameters.
  int ReadModeSystem(int phase, int value);
  int ReadLanguageUnit(int phase, int value);
  int ReadVersion(int phase, int value);
  int ReadAlarmMode(int phase, int value);
  int ReadModeHeating(int phase, int value);
  int ReadMinHeatingTime(int phase, int value);
  int ReadHighTempLimit(int phase, int value);
  int ReadLowTempLimit(int phase, int value);
  int ReadIdleTemp(int phase, int value);
  int ReadHeatingMoistLimit(int phase, int value);
  int ReadOpHours(int phase, int value);
  int ReadOpHoursXWK(int phase, int value);
  int ReadSensorType(int phase, int value);
  int ReadSensorMode(int phase, int value);
  int ReadSensorMoistLimit(int phase, int value);
  // Variables.
  int ReadAdmErrFlags(int phase, int value);
  int ReadAdmIntState(int phase, int value);
  int ReadHeatingState(int phase, int value);
  int ReadHeatingTemps(int phase, int value);
  int ReadHeatingRelay(int phase, int value);
  int ReadSensorState(int phase, int value);
  int ReadSensorTemps(int phase, int value);
  int ReadSensorMoisture(int phase, int value);
  int ReadSensorElectric(int phase, int value);
  // Commands; phase 2 always tells the window that the command's reply came.
  int CmdTestCommunication(int phase, int value);
  int CmdFactorySettings(int phase, int value);
  int CmdMinHeatTime(int phase, int value);    // value 1 start, 0 stop
  int CmdMoistureCycle(int phase, int value);  // value = sensor index

 private:
  struct StepDescription {
    StepHandler self;
    std::uint32_t objectId;
    int replyCount;
  };
  using FieldList = std::initializer_list<Field>;  // sensor 1's in a per-sensor step

  // BeginStep, keeping the log values from before the step when it begins.
  int Begin(const StepDescription& step, const VariableSnapshot& before);
  // Marks the step's fields not read when it begins, and failed when its reply has the wrong format.
  template <typename Decode>
  int Run(int phase, int value, const StepDescription& step, FieldList fields, Decode decode, int sensor = 0);
  template <typename Decode>
  int RunSensor(int phase, int value, const StepDescription& step, FieldList fields, Decode decode);
  // Sends byte 0 = dataByte (byte 1 = 0) unless dataByte is negative; decide maps an accepted-size
  // reply to the result.
  template <typename Decide>
  int RunCommand(int phase, int value, const StepDescription& step, int dataByte, Decide decide);

  void Mark(FieldList fields, int sensor, ReadState state);
  void SetTemperature(Field field, int code) { fields_.SetRead(field, code, temperatureUnitCode_); }

  StepHost& host_;
  DisplayFields fields_;
  VariableSnapshot snapshot_;  // LogValues(fields_), made again whenever a step changes them
  VariableSnapshot beforeStep_;
  int temperatureUnitCode_ = 0;
  int pendingArgument_ = 0;
  int targetSensor_ = 0;  // sensor whose fields the per-sensor step in progress fills
};

}  // namespace gelvar
