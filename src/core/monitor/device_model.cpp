#include "core/monitor/device_model.h"

#include <algorithm>

#include "core/monitor/message_pane.h"
#include "core/monitor/object_data.h"
#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

constexpr std::array<int, kDisplayFieldCount> kControlIds = {
    1026, 1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1042, 1043,
    1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057, 1058, 1059, 1060, 1061,
    1062, 1063, 1064, 1065, 1066, 1067, 1068, 1069, 1070, 1071, 1072, 1076, 1083, 1100, 1101, 1102,
};
static_assert(std::is_sorted(kControlIds.begin(), kControlIds.end()));

constexpr int kNoIndex = -1;

int FieldIndex(int controlId) {
  const auto* found = std::lower_bound(kControlIds.begin(), kControlIds.end(), controlId);
  if (found == kControlIds.end() || *found != controlId) return kNoIndex;
  return static_cast<int>(found - kControlIds.begin());
}

constexpr int kTempLogMissing = 0x7F00;
constexpr float kTempLogMissingValue = -999.0f;

// The lists pass only 0 and 1; anything else is taken as sensor 2 rather than reaching past the
// two sensors' fields.
int SensorIndex(int argument) { return argument == 0 ? 0 : 1; }

}  // namespace

DisplayFields::DisplayFields() { texts_.fill(kUndefined); }

const std::array<int, kDisplayFieldCount>& DisplayFields::ControlIds() { return kControlIds; }

const std::string& DisplayFields::Text(int controlId) const {
  static const std::string kNone;
  const int index = FieldIndex(controlId);
  return index == kNoIndex ? kNone : texts_[static_cast<std::size_t>(index)];
}

void DisplayFields::Set(int controlId, std::string text) {
  const int index = FieldIndex(controlId);
  if (index != kNoIndex) texts_[static_cast<std::size_t>(index)] = std::move(text);
}

float TempLogValue(int code, int unitCode) {
  if (code >= kTempLogMissing) return kTempLogMissingValue;
  return static_cast<float>(TempTenths(code, unitCode) * 0.1);
}

void DeviceModel::Undefine(std::initializer_list<int> controlIds) {
  for (int id : controlIds) fields_.Set(id, kUndefined);
}

std::string DeviceModel::Temperature(int code, bool withDecimal) const {
  return TemperatureText(code, withDecimal, temperatureUnitCode_);
}

int DeviceModel::Begin(const StepDescription& step, const VariableSnapshot& before) {
  const int result = host_.BeginStep(step.self, step.objectId);
  if (result == kStepBegun) beforeStep_ = before;
  return result;
}

template <typename Prepare, typename Decode>
int DeviceModel::Run(int phase, int value, const StepDescription& step, Prepare prepare, Decode decode) {
  if (phase == 1) {
    const VariableSnapshot before = snapshot_;
    prepare();
    return Begin(step, before);
  }
  if (phase != 2) return kReplyAccepted;
  if (value != step.replyCount) return kReplyWrongFormat;
  decode(host_.StepRequest());
  return kReplyAccepted;
}

template <typename Prepare, typename Decode>
int DeviceModel::RunSensor(int phase, int value, const StepDescription& step, Prepare prepare, Decode decode) {
  // Phase 1 prepares the sensor it is asked for; the reply goes to the sensor of the step in progress.
  const int sensor = phase == 1 ? SensorIndex(value) : targetSensor_;
  const std::uint32_t objectId = InsertField(step.objectId, kSensorIdMask, static_cast<std::uint32_t>(sensor));
  const StepDescription sensorStep{step.self, objectId, step.replyCount};
  SensorLogValues& log = snapshot_.sensor[sensor];
  const int result = Run(
      phase, value, sensorStep, [&] { prepare(sensor, log); },
      [&](const ObjectRequest& reply) { decode(reply, sensor, log); });
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
  return Run(
      phase, value, {&DeviceModel::ReadModeSystem, kIdModeSystem, 4}, [&] { Undefine({kFieldModeSystem}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldModeSystem, OnOffName(GetDataByte(r, 0))); });
}

int DeviceModel::ReadLanguageUnit(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadLanguageUnit, kIdLanguageUnit, 2},
      [&] {
        Undefine({kFieldLanguage, kFieldTempUnit});
      },
      [&](const ObjectRequest& r) {
        const int byte0 = GetDataByte(r, 0);
        fields_.Set(kFieldLanguage, LanguageName(byte0 & 0x0F));
        temperatureUnitCode_ = byte0 >> 4;
        fields_.Set(kFieldTempUnit, TempUnitName(byte0 >> 4));
      });
}

int DeviceModel::ReadVersion(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadVersion, kIdVersion, 4}, [&] { Undefine({kFieldVersion}); },
      [&](const ObjectRequest& r) {
        fields_.Set(kFieldVersion,
                    VersionText(GetDataByte(r, 0), GetDataByte(r, 1), GetDataByte(r, 3), GetDataByte(r, 2)));
      });
}

int DeviceModel::ReadAlarmMode(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadAlarmMode, kIdAlarmMode, 2}, [&] { Undefine({kFieldAlarmMode}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldAlarmMode, AlarmModeName(GetDataByte(r, 0))); });
}

int DeviceModel::ReadModeHeating(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadModeHeating, kIdModeHeating, 2}, [&] { Undefine({kFieldModeHeating}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldModeHeating, HeatingModeName(GetDataByte(r, 0))); });
}

int DeviceModel::ReadMinHeatingTime(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadMinHeatingTime, kIdMinHeatingTime, 2}, [&] { Undefine({kFieldMinHeatingTime}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldMinHeatingTime, MinutesText(GetDataWord(r, 0))); });
}

int DeviceModel::ReadHighTempLimit(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadHighTempLimit, kIdHighTempLimit, 2}, [&] { Undefine({kFieldHighTempLimit}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldHighTempLimit, Temperature(GetDataWord(r, 0), false)); });
}

int DeviceModel::ReadLowTempLimit(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadLowTempLimit, kIdLowTempLimit, 2}, [&] { Undefine({kFieldLowTempLimit}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldLowTempLimit, Temperature(GetDataWord(r, 0), false)); });
}

int DeviceModel::ReadIdleTemp(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadIdleTemp, kIdIdleTemp, 2}, [&] { Undefine({kFieldIdleTemp}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldIdleTemp, Temperature(GetDataWord(r, 0), false)); });
}

int DeviceModel::ReadHeatingMoistLimit(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadHeatingMoistLimit, kIdHeatingMoistLimit, 2},
      [&] { Undefine({kFieldHeatingMoistLimit}); },
      [&](const ObjectRequest& r) { fields_.Set(kFieldHeatingMoistLimit, TwoDigitsText(GetDataByte(r, 0))); });
}

int DeviceModel::ReadOpHours(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadOpHours, kIdOpHours, 2},
      [&] {
        Undefine({kFieldOpHours});
        snapshot_.HtgOpHours = -1;
      },
      [&](const ObjectRequest& r) {
        snapshot_.HtgOpHours = GetDataWord(r, 0);
        fields_.Set(kFieldOpHours, HoursText(snapshot_.HtgOpHours));
      });
}

int DeviceModel::ReadOpHoursXWK(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadOpHoursXWK, kIdOpHoursXWK, 2},
      [&] {
        Undefine({kFieldOpHoursXWK});
        snapshot_.HtgOpHoursXWK = -1;
      },
      [&](const ObjectRequest& r) {
        snapshot_.HtgOpHoursXWK = GetDataWord(r, 0);
        fields_.Set(kFieldOpHoursXWK, HoursText(snapshot_.HtgOpHoursXWK));
      });
}

int DeviceModel::ReadSensorType(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorType, kIdSensorType, 2},
      [&](int s, SensorLogValues&) { Undefine({SensorField(kFieldSensorType, s)}); },
      [&](const ObjectRequest& r, int s, SensorLogValues&) {
        fields_.Set(SensorField(kFieldSensorType, s), SensorTypeName(GetDataByte(r, 0)));
      });
}

int DeviceModel::ReadSensorMode(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorMode, kIdSensorMode, 2},
      [&](int s, SensorLogValues&) { Undefine({SensorField(kFieldSensorMode, s)}); },
      [&](const ObjectRequest& r, int s, SensorLogValues&) {
        fields_.Set(SensorField(kFieldSensorMode, s), SensorModeName(GetDataByte(r, 0)));
      });
}

int DeviceModel::ReadSensorMoistLimit(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorMoistLimit, kIdSensorMoistLimit, 2},
      [&](int s, SensorLogValues&) { Undefine({SensorField(kFieldSensorMoistLimit, s)}); },
      [&](const ObjectRequest& r, int s, SensorLogValues&) {
        fields_.Set(SensorField(kFieldSensorMoistLimit, s), SensorMoistLimitText(GetDataByte(r, 0)));
      });
}

// ---- Variables

int DeviceModel::ReadAdmErrFlags(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadAdmErrFlags, kIdModeSystem, 4},
      [&] {
        Undefine({kFieldAdmErrorFlags});
        snapshot_.AdmErrFlg = -1;
      },
      [&](const ObjectRequest& r) {
        snapshot_.AdmErrFlg = GetDataWord(r, 2);
        fields_.Set(kFieldAdmErrorFlags, HexText(snapshot_.AdmErrFlg));
      });
}

int DeviceModel::ReadAdmIntState(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadAdmIntState, kIdInternalState, 2},
      [&] {
        Undefine({kFieldInternalState});
        snapshot_.AdmIntStat = -1;
      },
      [&](const ObjectRequest& r) {
        const int byte0 = GetDataByte(r, 0);
        const int byte1 = GetDataByte(r, 1);
        snapshot_.AdmIntStat = byte0 * 256 + byte1;
        fields_.Set(kFieldInternalState, InternalStateText(byte0, byte1));
      });
}

int DeviceModel::ReadHeatingState(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadHeatingState, kIdHeatingState, 4},
      [&] {
        Undefine({kFieldHeatingState, kFieldHeatingTempFlags, kFieldHeatingMoistFlags, kFieldHeatingErrorFlags});
        snapshot_.HtgState = snapshot_.HtgTempFlg = snapshot_.HtgMoisFlg = snapshot_.HtgErrFlg = -1;
      },
      [&](const ObjectRequest& r) {
        snapshot_.HtgState = GetDataByte(r, 0);
        snapshot_.HtgTempFlg = GetDataByte(r, 1);
        snapshot_.HtgMoisFlg = GetDataByte(r, 2);
        snapshot_.HtgErrFlg = GetDataByte(r, 3);
        fields_.Set(kFieldHeatingState, HeatingStateName(snapshot_.HtgState));
        fields_.Set(kFieldHeatingTempFlags, HeatingTempFlags(snapshot_.HtgTempFlg));
        fields_.Set(kFieldHeatingMoistFlags, HeatingMoistureFlags(snapshot_.HtgMoisFlg));
        fields_.Set(kFieldHeatingErrorFlags, HeatingErrorFlags(snapshot_.HtgErrFlg));
      });
}

int DeviceModel::ReadHeatingTemps(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadHeatingTemps, kIdHeatingTemps, 4},
      [&] {
        Undefine({kFieldSlabTemp, kFieldOutdoorTemp});
        snapshot_.HtgSlGuTemp = snapshot_.HtgOutTemp = -1.0f;
      },
      [&](const ObjectRequest& r) {
        const int slab = GetDataWord(r, 0);
        const int outdoor = GetDataWord(r, 2);
        snapshot_.HtgSlGuTemp = TemperatureLog(slab);
        fields_.Set(kFieldSlabTemp, Temperature(slab, true));
        snapshot_.HtgOutTemp = TemperatureLog(outdoor);
        fields_.Set(kFieldOutdoorTemp, Temperature(outdoor, true));
      });
}

int DeviceModel::ReadHeatingRelay(int phase, int value) {
  return Run(
      phase, value, {&DeviceModel::ReadHeatingRelay, kIdHeatingRelay, 4},
      [&] {
        Undefine({kFieldHeatingRelay, kFieldRemHeatTime});
        snapshot_.HtgOffOn = snapshot_.HtgRemHtime = -1;
      },
      [&](const ObjectRequest& r) {
        snapshot_.HtgOffOn = GetDataByte(r, 0);
        snapshot_.HtgRemHtime = GetDataWord(r, 2);
        fields_.Set(kFieldHeatingRelay, OnOffName(snapshot_.HtgOffOn));
        fields_.Set(kFieldRemHeatTime, MinutesText(snapshot_.HtgRemHtime));
      });
}

int DeviceModel::ReadSensorState(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorState, kIdSensorState, 4},
      [&](int s, SensorLogValues& log) {
        Undefine({SensorField(kFieldSensorState, s), SensorField(kFieldSensorErrorFlags, s),
                  SensorField(kFieldSensorFlags, s)});
        log.State = log.Error = log.Flags = -1;
      },
      [&](const ObjectRequest& r, int s, SensorLogValues& log) {
        log.State = GetDataByte(r, 0);
        log.Error = GetDataByte(r, 2);
        log.Flags = GetDataByte(r, 1);
        fields_.Set(SensorField(kFieldSensorState, s), SensorStateName(log.State));
        fields_.Set(SensorField(kFieldSensorErrorFlags, s), SensorErrorFlags(log.Error));
        fields_.Set(SensorField(kFieldSensorFlags, s), SensorFlags(log.Flags));
      });
}

int DeviceModel::ReadSensorTemps(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorTemps, kIdSensorTemps, 4},
      [&](int s, SensorLogValues& log) {
        Undefine({SensorField(kFieldSensorTemp, s), SensorField(kFieldSensorAmbientTemp, s)});
        log.SenTemp = log.AmbTemp = -1.0f;
      },
      [&](const ObjectRequest& r, int s, SensorLogValues& log) {
        const int sensorTemp = GetDataWord(r, 0);
        const int ambientTemp = GetDataWord(r, 2);
        log.SenTemp = TemperatureLog(sensorTemp);
        fields_.Set(SensorField(kFieldSensorTemp, s), Temperature(sensorTemp, true));
        log.AmbTemp = TemperatureLog(ambientTemp);
        fields_.Set(SensorField(kFieldSensorAmbientTemp, s), Temperature(ambientTemp, true));
      });
}

int DeviceModel::ReadSensorMoisture(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorMoisture, kIdSensorMoisture, 4},
      [&](int s, SensorLogValues& log) {
        Undefine({SensorField(kFieldSensorLastMoisture, s), SensorField(kFieldSensorInhibitMoist, s),
                  SensorField(kFieldSensorInhibitTemp, s)});
        log.LastMoist = log.ItimMois = log.ItimTemp = -1;
      },
      [&](const ObjectRequest& r, int s, SensorLogValues& log) {
        log.LastMoist = GetDataByte(r, 0);
        log.ItimMois = GetDataByte(r, 2);
        log.ItimTemp = GetDataByte(r, 3);
        fields_.Set(SensorField(kFieldSensorLastMoisture, s), LastMoistureText(log.LastMoist));
        fields_.Set(SensorField(kFieldSensorInhibitMoist, s), MinutesText(log.ItimMois));
        fields_.Set(SensorField(kFieldSensorInhibitTemp, s), MinutesText(log.ItimTemp));
      });
}

int DeviceModel::ReadSensorElectric(int phase, int value) {
  return RunSensor(
      phase, value, {&DeviceModel::ReadSensorElectric, kIdSensorElectric, 4},
      [&](int s, SensorLogValues& log) {
        Undefine({SensorField(kFieldSensorVoltage, s), SensorField(kFieldSensorCharValue, s)});
        log.Volt = -1.0f;
        log.CharVal = -2;
      },
      [&](const ObjectRequest& r, int s, SensorLogValues& log) {
        const int hundredths = GetDataWord(r, 0);
        log.Volt = static_cast<float>(hundredths * 0.01);
        log.CharVal = GetDataWord(r, 2);
        fields_.Set(SensorField(kFieldSensorVoltage, s), VoltsText(hundredths));
        fields_.Set(SensorField(kFieldSensorCharValue, s), DecimalText(log.CharVal));
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
