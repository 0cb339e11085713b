#include "core/monitor/device_model.h"

#include "core/monitor/message_pane.h"
#include "core/monitor/object_data.h"

namespace gelvar {
namespace {

// The lists pass only 0 and 1; anything else is taken as sensor 2 rather than reaching past the
// two sensors' fields.
int SensorIndex(int argument) { return argument == 0 ? 0 : 1; }

}  // namespace

void DeviceModel::Mark(FieldList fields, int sensor, ReadState state) {
  for (Field field : fields) fields_.SetState(SensorField(field, sensor), state);
  snapshot_ = LogValues(fields_);
}

int DeviceModel::Begin(const StepDescription& step, const VariableSnapshot& before) {
  const int result = host_.BeginStep(step.self, step.objectId);
  if (result == kStepBegun) beforeStep_ = before;
  return result;
}

template <typename Decode>
int DeviceModel::Run(int phase, int value, const StepDescription& step, FieldList fields, Decode decode, int sensor) {
  if (phase == 1) {
    const VariableSnapshot before = snapshot_;
    Mark(fields, sensor, ReadState::kNotRead);
    return Begin(step, before);
  }
  if (phase != 2) return kReplyAccepted;
  if (value != step.replyCount) {
    Mark(fields, sensor, ReadState::kFailed);
    return kReplyWrongFormat;
  }
  decode(host_.StepRequest());
  snapshot_ = LogValues(fields_);
  return kReplyAccepted;
}

template <typename Decode>
int DeviceModel::RunSensor(int phase, int value, const StepDescription& step, FieldList fields, Decode decode) {
  // Phase 1 prepares the sensor it is asked for; the reply goes to the sensor of the step in progress.
  const int sensor = phase == 1 ? SensorIndex(value) : targetSensor_;
  const std::uint32_t objectId = InsertField(step.objectId, kSensorIdMask, static_cast<std::uint32_t>(sensor));
  const StepDescription sensorStep{step.self, objectId, step.replyCount};
  const auto field = [sensor](Field sensor1Field) { return SensorField(sensor1Field, sensor); };
  const int result = Run(
      phase, value, sensorStep, fields, [&](const ObjectRequest& reply) { decode(reply, field); }, sensor);
  if (phase == 1 && result == kStepBegun) {
    targetSensor_ = sensor;
    pendingArgument_ = sensor;
  }
  return result;
}

template <typename Decide>
int DeviceModel::RunCommand(int phase, int value, const StepDescription& step, int dataByte, Decide decide) {
  if (phase == 1) {
    const int result = Begin(step, snapshot_);
    if (result == kStepBegun && dataByte >= 0) PutDataByte(host_.StepRequest(), 0, dataByte);
    return result;
  }
  if (phase != 2) return kReplyAccepted;
  host_.CommandReplied();
  if (value != step.replyCount) return kReplyWrongFormat;
  return decide(host_.StepRequest());
}

// ---- Parameters

int DeviceModel::ReadModeSystem(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadModeSystem, kIdModeSystem, 4}, {Field::kModeSystem},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kModeSystem, GetDataByte(r, 0)); });
}

int DeviceModel::ReadLanguageUnit(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadLanguageUnit, kIdLanguageUnit, 2}, {Field::kLanguage, Field::kTempUnit},
             [&](const ObjectRequest& r) {
               const int byte0 = GetDataByte(r, 0);
               temperatureUnitCode_ = byte0 >> 4;
               fields_.SetRead(Field::kLanguage, byte0 & 0x0F);
               fields_.SetRead(Field::kTempUnit, temperatureUnitCode_);
             });
}

int DeviceModel::ReadVersion(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadVersion, kIdVersion, 4}, {Field::kVersion}, [&](const ObjectRequest& r) {
    fields_.SetRead(Field::kVersion, GetDataWord(r, 0) | GetDataWord(r, 2) << 16);
  });
}

int DeviceModel::ReadAlarmMode(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadAlarmMode, kIdAlarmMode, 2}, {Field::kAlarmMode},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kAlarmMode, GetDataByte(r, 0)); });
}

int DeviceModel::ReadModeHeating(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadModeHeating, kIdModeHeating, 2}, {Field::kModeHeating},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kModeHeating, GetDataByte(r, 0)); });
}

int DeviceModel::ReadMinHeatingTime(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadMinHeatingTime, kIdMinHeatingTime, 2}, {Field::kMinHeatingTime},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kMinHeatingTime, GetDataWord(r, 0)); });
}

int DeviceModel::ReadHighTempLimit(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadHighTempLimit, kIdHighTempLimit, 2}, {Field::kHighTempLimit},
             [&](const ObjectRequest& r) { SetTemperature(Field::kHighTempLimit, GetDataWord(r, 0)); });
}

int DeviceModel::ReadLowTempLimit(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadLowTempLimit, kIdLowTempLimit, 2}, {Field::kLowTempLimit},
             [&](const ObjectRequest& r) { SetTemperature(Field::kLowTempLimit, GetDataWord(r, 0)); });
}

int DeviceModel::ReadIdleTemp(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadIdleTemp, kIdIdleTemp, 2}, {Field::kIdleTemp},
             [&](const ObjectRequest& r) { SetTemperature(Field::kIdleTemp, GetDataWord(r, 0)); });
}

int DeviceModel::ReadHeatingMoistLimit(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadHeatingMoistLimit, kIdHeatingMoistLimit, 2}, {Field::kHeatingMoistLimit},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kHeatingMoistLimit, GetDataByte(r, 0)); });
}

int DeviceModel::ReadOpHours(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadOpHours, kIdOpHours, 2}, {Field::kOpHours},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kOpHours, GetDataWord(r, 0)); });
}

int DeviceModel::ReadOpHoursXWK(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadOpHoursXWK, kIdOpHoursXWK, 2}, {Field::kOpHoursXWK},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kOpHoursXWK, GetDataWord(r, 0)); });
}

int DeviceModel::ReadSensorType(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorType, kIdSensorType, 2}, {Field::kS1Type},
      [&](const ObjectRequest& r, auto field) { fields_.SetRead(field(Field::kS1Type), GetDataByte(r, 0)); });
}

int DeviceModel::ReadSensorMode(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorMode, kIdSensorMode, 2}, {Field::kS1Mode},
      [&](const ObjectRequest& r, auto field) { fields_.SetRead(field(Field::kS1Mode), GetDataByte(r, 0)); });
}

int DeviceModel::ReadSensorMoistLimit(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorMoistLimit, kIdSensorMoistLimit, 2}, {Field::kS1MoistLimit},
      [&](const ObjectRequest& r, auto field) { fields_.SetRead(field(Field::kS1MoistLimit), GetDataByte(r, 0)); });
}

// ---- Variables

int DeviceModel::ReadAdmErrFlags(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadAdmErrFlags, kIdModeSystem, 4}, {Field::kAdmErrorFlags},
             [&](const ObjectRequest& r) { fields_.SetRead(Field::kAdmErrorFlags, GetDataWord(r, 2)); });
}

int DeviceModel::ReadAdmIntState(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadAdmIntState, kIdInternalState, 2}, {Field::kInternalState},
             [&](const ObjectRequest& r) {
               fields_.SetRead(Field::kInternalState, GetDataByte(r, 0) * 256 + GetDataByte(r, 1));
             });
}

int DeviceModel::ReadHeatingState(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadHeatingState, kIdHeatingState, 4},
             {Field::kHeatingState, Field::kHeatingTempFlags, Field::kHeatingMoistFlags, Field::kHeatingErrorFlags},
             [&](const ObjectRequest& r) {
               fields_.SetRead(Field::kHeatingState, GetDataByte(r, 0));
               fields_.SetRead(Field::kHeatingTempFlags, GetDataByte(r, 1));
               fields_.SetRead(Field::kHeatingMoistFlags, GetDataByte(r, 2));
               fields_.SetRead(Field::kHeatingErrorFlags, GetDataByte(r, 3));
             });
}

int DeviceModel::ReadHeatingTemps(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadHeatingTemps, kIdHeatingTemps, 4},
             {Field::kSlabTemp, Field::kOutdoorTemp}, [&](const ObjectRequest& r) {
               SetTemperature(Field::kSlabTemp, GetDataWord(r, 0));
               SetTemperature(Field::kOutdoorTemp, GetDataWord(r, 2));
             });
}

int DeviceModel::ReadHeatingRelay(int phase, int value) {
  return Run(phase, value, {&DeviceModel::ReadHeatingRelay, kIdHeatingRelay, 4},
             {Field::kHeatingRelay, Field::kRemHeatTime}, [&](const ObjectRequest& r) {
               fields_.SetRead(Field::kHeatingRelay, GetDataByte(r, 0));
               fields_.SetRead(Field::kRemHeatTime, GetDataWord(r, 2));
             });
}

int DeviceModel::ReadSensorState(int phase, int value) {
  return RunSensor(phase, value, {&DeviceModel::ReadSensorState, kIdSensorState, 4},
                   {Field::kS1State, Field::kS1ErrorFlags, Field::kS1Flags}, [&](const ObjectRequest& r, auto field) {
                     fields_.SetRead(field(Field::kS1State), GetDataByte(r, 0));
                     fields_.SetRead(field(Field::kS1ErrorFlags), GetDataByte(r, 2));
                     fields_.SetRead(field(Field::kS1Flags), GetDataByte(r, 1));
                   });
}

int DeviceModel::ReadSensorTemps(int phase, int value) {
  return RunSensor(phase, value, {&DeviceModel::ReadSensorTemps, kIdSensorTemps, 4},
                   {Field::kS1Temp, Field::kS1AmbientTemp}, [&](const ObjectRequest& r, auto field) {
                     SetTemperature(field(Field::kS1Temp), GetDataWord(r, 0));
                     SetTemperature(field(Field::kS1AmbientTemp), GetDataWord(r, 2));
                   });
}

int DeviceModel::ReadSensorMoisture(int phase, int value) {
  return RunSensor(phase, value, {&DeviceModel::ReadSensorMoisture, kIdSensorMoisture, 4},
                   {Field::kS1LastMoisture, Field::kS1InhibitMoist, Field::kS1InhibitTemp},
                   [&](const ObjectRequest& r, auto field) {
                     fields_.SetRead(field(Field::kS1LastMoisture), GetDataByte(r, 0));
                     fields_.SetRead(field(Field::kS1InhibitMoist), GetDataByte(r, 2));
                     fields_.SetRead(field(Field::kS1InhibitTemp), GetDataByte(r, 3));
                   });
}

int DeviceModel::ReadSensorElectric(int phase, int value) {
  return RunSensor(phase, value, {&DeviceModel::ReadSensorElectric, kIdSensorElectric, 4},
                   {Field::kS1Voltage, Field::kS1CharValue}, [&](const ObjectRequest& r, auto field) {
                     fields_.SetRead(field(Field::kS1Voltage), GetDataWord(r, 0));
                     fields_.SetRead(field(Field::kS1CharValue), GetDataWord(r, 2));
                   });
}

// ---- Commands

namespace {

constexpr int kNoData = -1;
constexpr int kCommandStart = 1;
constexpr int kCommandDone = 2;  // byte 0 of a reply to an accepted command

}  // namespace

int DeviceModel::CmdTestCommunication(int phase, int value) {
  return RunCommand(phase, value, {&DeviceModel::CmdTestCommunication, kIdLanguageUnit, 2}, kNoData,
                    [&](const ObjectRequest& r) {
                      temperatureUnitCode_ = GetDataByte(r, 0) >> 4;
                      host_.AddMessage(kMsgCommunicationOk);
                      return kReplyAccepted;
                    });
}

int DeviceModel::CmdFactorySettings(int phase, int value) {
  return RunCommand(phase, value, {&DeviceModel::CmdFactorySettings, kIdFactorySettings, 2}, kCommandStart,
                    [&](const ObjectRequest& r) {
                      if (GetDataByte(r, 0) != kCommandDone) return kReplyWrongCommand;
                      host_.AddMessage(kMsgFactorySettingsOk);
                      return kReplyAccepted;
                    });
}

int DeviceModel::CmdMinHeatTime(int phase, int value) {
  const int result = RunCommand(
      phase, value, {&DeviceModel::CmdMinHeatTime, kIdMinHeatTimeCommand, 2}, value, [&](const ObjectRequest&) {
        host_.AddMessage(pendingArgument_ != 0 ? kMsgMinHeatTimeStarted : kMsgMinHeatTimeStopped);
        return kReplyAcceptedToo;
      });
  if (phase == 1 && result == kStepBegun) pendingArgument_ = value;
  return result;
}

int DeviceModel::CmdMoistureCycle(int phase, int value) {
  const std::uint32_t objectId =
      InsertField(kIdMoistureCycle, kSensorIdMask, static_cast<std::uint32_t>(SensorIndex(value)));
  return RunCommand(phase, value, {&DeviceModel::CmdMoistureCycle, objectId, 2}, kCommandStart,
                    [&](const ObjectRequest& r) {
                      if (GetDataByte(r, 0) != kCommandDone) return kReplyWrongCommand;
                      host_.AddMessage(kMsgMoistureCycleStarted);
                      return kReplyAccepted;
                    });
}

}  // namespace gelvar
