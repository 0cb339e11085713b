// The step handlers with their replies played in by hand: what each reply shows, what a reply of the
// wrong size leaves, what the commands send and answer, and the texts of the values.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <tuple>
#include <vector>

#include "core/monitor/device_model.h"
#include "core/monitor/message_pane.h"
#include "core/monitor/object_data.h"
#include "core/monitor/parameter_report.h"
#include "core/monitor/value_format.h"
#include "core/monitor/variable_log.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// The window around the model: a step begins unless told to refuse; begun IDs and messages are noted.
class DeviceModelTest : public ::testing::Test, public StepHost {
 protected:
  int BeginStep(StepHandler, std::uint32_t objectId) override {
    if (refuse) return kStepRefused;
    begunIds.push_back(objectId);
    request.count = 0;
    return kStepBegun;
  }
  ObjectRequest& StepRequest() override { return request; }
  void CommandReplied() override { ++commandReplies; }
  void AddMessage(int code) override { messages.push_back(code); }

  // Begins the handler's step and answers it with the bytes; the phase 2 result.
  int Exchange(StepHandler handler, int argument, const Bytes& reply) {
    (model.*handler)(1, argument);
    request.count = static_cast<std::uint8_t>(reply.size());
    std::copy(reply.begin(), reply.end(), request.data);
    return (model.*handler)(2, static_cast<int>(reply.size()));
  }
  std::string Text(Field field) const { return model.Fields().Text(field); }
  Bytes SentData() const { return Bytes(request.data, request.data + (request.count & 0x0F)); }

  bool refuse = false;
  ObjectRequest request{};
  std::vector<std::uint32_t> begunIds;
  std::vector<int> messages;
  int commandReplies = 0;
  DeviceModel model{*this};
};

struct ReplyRow {
  const char* name;
  StepHandler handler;
  int argument;
  Bytes reply;
  Field field;
  const char* text;
};

class ReplyShows : public DeviceModelTest, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(ReplyShows, InItsField) {
  const ReplyRow& row = GetParam();
  Exchange(row.handler, row.argument, row.reply);
  EXPECT_EQ(Text(row.field), row.text);
}

using M = DeviceModel;
using F = Field;
// clang-format off
const ReplyRow kReplies[] = {
    {"LanguageNibble2IsFR", &M::ReadLanguageUnit, 0, {0x12, 0}, F::kLanguage, "FR"},
    {"UnitNibble1IsFahrenheit", &M::ReadLanguageUnit, 0, {0x12, 0}, F::kTempUnit, "\260F"},
    {"UnitNibble2IsUnknown", &M::ReadLanguageUnit, 0, {0x20, 0}, F::kTempUnit, "unknown"},
    {"MinHeatingTimeIsAWord", &M::ReadMinHeatingTime, 0, {0x2C, 0x01}, F::kMinHeatingTime, "300 min"},
    {"IdleTempRoundsHalfAwayFromZero", &M::ReadIdleTemp, 0, {0xA2, 0x17}, F::kIdleTemp, "    3 \260C"},
    {"HeatingMoistLimit0Is00", &M::ReadHeatingMoistLimit, 0, {0, 0}, F::kHeatingMoistLimit, "00"},
    {"OpHoursIsAnUnsignedWord", &M::ReadOpHours, 1, {0xFF, 0xFF}, F::kOpHours, "65535 h"},
    {"Sensor2Type0IsKeinFuehler", &M::ReadSensorType, 1, {0, 0}, F::kS2Type, "kein F\374hler"},
    {"Sensor2MoistLimit0IsX", &M::ReadSensorMoistLimit, 1, {0, 0}, F::kS2MoistLimit, "- x -"},
    {"Sensor1MoistLimitHasTwoDigits", &M::ReadSensorMoistLimit, 0, {7, 0}, F::kS1MoistLimit, "07"},
    {"AdmErrorFlagsAreWord2InHex", &M::ReadAdmErrFlags, 0, {0, 0, 0xA1, 0}, F::kAdmErrorFlags, "00A1"},
    {"InternalStateBytes3And7", &M::ReadAdmIntState, 0, {3, 7}, F::kInternalState, "M3 - E7"},
    {"HeatingState8IsHeatingIdel", &M::ReadHeatingState, 0, {8, 1, 2, 5}, F::kHeatingState, "Heating(Idel)"},
    {"HeatingTempFlagsAreByte1", &M::ReadHeatingState, 0, {8, 1, 2, 5}, F::kHeatingTempFlags, " Ta"},
    {"HeatingMoistFlagsAreByte2", &M::ReadHeatingState, 0, {8, 1, 2, 5}, F::kHeatingMoistFlags, " S2"},
    {"HeatingErrorFlagsAreByte3", &M::ReadHeatingState, 0, {8, 1, 2, 5}, F::kHeatingErrorFlags, " Ta Mx"},
    {"SlabTemp7FFEIsMarkerV", &M::ReadHeatingTemps, 0, {0xFE, 0x7F, 0x10, 0x7F}, F::kSlabTemp, "- v -"},
    {"OutdoorTemp7F10IsConverted", &M::ReadHeatingTemps, 0, {0xFE, 0x7F, 0x10, 0x7F}, F::kOutdoorTemp, "1326.4 \260C"},
    {"HeatingRelayIsByte0", &M::ReadHeatingRelay, 0, {1, 0, 45, 0}, F::kHeatingRelay, "On"},
    {"RemHeatTimeIsWord2", &M::ReadHeatingRelay, 0, {1, 0, 45, 0}, F::kRemHeatTime, "45 min"},
    {"Sensor2State11IsMoistDet", &M::ReadSensorState, 1, {11, 1, 3, 0}, F::kS2State, "Moist.Det."},
    {"Sensor2ErrorFlagsAreByte2", &M::ReadSensorState, 1, {11, 1, 3, 0}, F::kS2ErrorFlags, " Ts Mb"},
    {"Sensor2FlagsAreByte1", &M::ReadSensorState, 1, {11, 1, 3, 0}, F::kS2Flags, " M!"},
    {"Sensor1TempHasOneDecimal", &M::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17}, F::kS1Temp, " 12.5 \260C"},
    {"Sensor1AmbientTempIsWord2", &M::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17}, F::kS1AmbientTemp, " -0.4 \260C"},
    {"Sensor2TempsLeaveSensor1Undefined", &M::ReadSensorTemps, 1, {0x6A, 0x18, 0x68, 0x17}, F::kS1Temp, "undef."},
    {"Sensor2LastMoisture0IsQuestionMark", &M::ReadSensorMoisture, 1, {0, 9, 12, 3}, F::kS2LastMoisture, "- ? -"},
    {"Sensor2InhibitMoistIsByte2", &M::ReadSensorMoisture, 1, {0, 9, 12, 3}, F::kS2InhibitMoist, "12 min"},
    {"Sensor2InhibitTempIsByte3", &M::ReadSensorMoisture, 1, {0, 9, 12, 3}, F::kS2InhibitTemp, "3 min"},
    {"Sensor1VoltageIsHundredths", &M::ReadSensorElectric, 0, {5, 0, 0x39, 0x30}, F::kS1Voltage, " 0.05 V"},
    {"Sensor1CharValueIsWord2", &M::ReadSensorElectric, 0, {5, 0, 0x39, 0x30}, F::kS1CharValue, "12345"},
    // A reply of the size another object has shows nothing of it.
    {"ModeSystemOf2IsRefused", &M::ReadModeSystem, 0, {1, 1}, F::kModeSystem, "undef."},
    {"ModeSystemOf0IsRefused", &M::ReadModeSystem, 0, {}, F::kModeSystem, "undef."},
    {"LanguageUnitOf4IsRefused", &M::ReadLanguageUnit, 0, {1, 1, 1, 1}, F::kLanguage, "undef."},
    {"HeatingStateOf2IsRefused", &M::ReadHeatingState, 0, {1, 1}, F::kHeatingState, "undef."},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(DeviceModel, ReplyShows, ::testing::ValuesIn(kReplies), kByName);

TEST_F(DeviceModelTest, AWrongSizedHeatingStateLogsAllFourValuesAsUnread) {
  Exchange(&M::ReadHeatingState, 0, {4, 1, 2, 5});
  Exchange(&M::ReadHeatingState, 0, {4, 1});
  const VariableSnapshot& log = model.Snapshot();
  EXPECT_EQ(std::vector<int>({log.HtgState, log.HtgTempFlg, log.HtgMoisFlg, log.HtgErrFlg}),
            std::vector<int>({-1, -1, -1, -1}));
}

TEST_F(DeviceModelTest, UnitByteSwitchesLaterTemperaturesToFahrenheit) {
  Exchange(&M::ReadLanguageUnit, 0, {0x12, 0});
  Exchange(&M::ReadHighTempLimit, 0, {0x00, 0x19});
  EXPECT_EQ(Text(F::kHighTempLimit), "   68 \260F");
}

TEST_F(DeviceModelTest, TemperaturesAlreadyShownKeepTheirUnit) {
  Exchange(&M::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17});
  Exchange(&M::ReadLanguageUnit, 0, {0x12, 0});
  EXPECT_EQ(Text(F::kS1Temp), " 12.5 \260C");
}

TEST_F(DeviceModelTest, TestCommunicationStoresTheUnitCodeAndShowsNoField) {
  Exchange(&M::CmdTestCommunication, 0, {0x12, 0});
  EXPECT_EQ(model.TemperatureUnitCode(), 1);
  EXPECT_EQ(Text(F::kTempUnit), "undef.");
}

struct CommandRow {
  const char* name;
  StepHandler handler;
  int argument;
  std::uint32_t objectId;
  Bytes sent;
};

class CommandSends : public DeviceModelTest, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(CommandSends, ItsObjectAndDataBytes) {
  const CommandRow& row = GetParam();
  request.count = 4;  // a step before left its bytes here
  ASSERT_EQ((model.*row.handler)(1, row.argument), kStepBegun);
  EXPECT_EQ(begunIds, std::vector<std::uint32_t>{row.objectId});
  EXPECT_EQ(SentData(), row.sent);
}

const CommandRow kCommands[] = {
    {"TestCommunicationReads3003", &M::CmdTestCommunication, 0, 0x3003, {}},
    {"FactorySettingsSends1And0To3004", &M::CmdFactorySettings, 0, 0x3004, {1, 0}},
    {"StartMinHeatTimeSends1And0To0C09", &M::CmdMinHeatTime, 1, 0x0C09, {1, 0}},
    {"StopMinHeatTimeSends0And0To0C09", &M::CmdMinHeatTime, 0, 0x0C09, {0, 0}},
    {"CycleSensor1Sends1And0To0C87", &M::CmdMoistureCycle, 0, 0x0C87, {1, 0}},
    {"CycleSensor2Sends1And0To0C97", &M::CmdMoistureCycle, 1, 0x0C97, {1, 0}},
};
INSTANTIATE_TEST_SUITE_P(DeviceModel, CommandSends, ::testing::ValuesIn(kCommands), kByName);

struct CommandReplyRow {
  const char* name;
  StepHandler handler;
  int argument;
  Bytes reply;
  int result;
  std::vector<int> messages;
};

class CommandReply : public DeviceModelTest, public ::testing::WithParamInterface<CommandReplyRow> {};

TEST_P(CommandReply, GivesItsResultAndMessage) {
  const CommandReplyRow& row = GetParam();
  EXPECT_EQ(Exchange(row.handler, row.argument, row.reply), row.result);
  EXPECT_EQ(messages, row.messages);
}

// clang-format off
const CommandReplyRow kCommandReplies[] = {
    {"TestCommunicationOK", &M::CmdTestCommunication, 0, {0, 0}, kReplyAccepted, {kMsgCommunicationOk}},
    {"FactorySettingsDoneWith2", &M::CmdFactorySettings, 0, {2, 0}, kReplyAccepted, {kMsgFactorySettingsOk}},
    {"FactorySettingsRefusedWith1", &M::CmdFactorySettings, 0, {1, 0}, kReplyWrongCommand, {}},
    {"MinHeatTimeStarted", &M::CmdMinHeatTime, 1, {1, 0}, kReplyAcceptedToo, {kMsgMinHeatTimeStarted}},
    {"MinHeatTimeStopped", &M::CmdMinHeatTime, 0, {0, 0}, kReplyAcceptedToo, {kMsgMinHeatTimeStopped}},
    {"MinHeatTimeOf0IsWrongFormat", &M::CmdMinHeatTime, 1, {}, kReplyWrongFormat, {}},
    {"MoistureCycleStartedWith2", &M::CmdMoistureCycle, 1, {2, 0}, kReplyAccepted, {kMsgMoistureCycleStarted}},
    {"MoistureCycleRefusedWith3", &M::CmdMoistureCycle, 0, {3, 0}, kReplyWrongCommand, {}},
    {"MoistureCycleOf4IsWrongFormat", &M::CmdMoistureCycle, 0, {2, 0, 0, 0}, kReplyWrongFormat, {}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(DeviceModel, CommandReply, ::testing::ValuesIn(kCommandReplies), kByName);

TEST_F(DeviceModelTest, AWrongSizedCommandReplyStillEndsTheCommand) {
  Exchange(&M::CmdFactorySettings, 0, {2, 0, 0, 0});
  EXPECT_EQ(commandReplies, 1);
}

TEST_F(DeviceModelTest, ARefusedBeginLeavesTheRunningStepsSensor) {
  model.ReadSensorTemps(1, 0);
  refuse = true;
  model.ReadSensorTemps(1, 1);
  request = ObjectRequest{0, 4, 0x0C84, 0, {0x6A, 0x18, 0x6A, 0x18}};
  model.ReadSensorTemps(2, 4);
  EXPECT_EQ(Text(F::kS1Temp), " 12.5 \260C");
}

TEST_F(DeviceModelTest, ARefusedCommandBeginPutsNoBytesIntoTheRunningStep) {
  model.ReadSensorTemps(1, 0);
  refuse = true;
  EXPECT_EQ(model.CmdMinHeatTime(1, 1), kStepRefused);
  EXPECT_EQ(SentData(), Bytes{});
}

TEST_F(DeviceModelTest, ARefusedStopKeepsTheStartMessageOfTheRunningCommand) {
  model.CmdMinHeatTime(1, 1);
  refuse = true;
  model.CmdMinHeatTime(1, 0);
  request.count = 2;
  model.CmdMinHeatTime(2, 2);
  EXPECT_EQ(messages, std::vector<int>{kMsgMinHeatTimeStarted});
}

TEST_F(DeviceModelTest, UnreadCharValueLogsMinus2) { EXPECT_EQ(model.Snapshot().sensor[1].CharVal, -2); }

TEST_F(DeviceModelTest, InternalStateBytes3And7Log775) {
  Exchange(&M::ReadAdmIntState, 0, {3, 7});
  EXPECT_EQ(model.Snapshot().AdmIntStat, 775);
}

TEST_F(DeviceModelTest, ATemperatureFrom7F00OnLogsMinus999) {
  Exchange(&M::ReadHeatingTemps, 0, {0xFF, 0x7E, 0x00, 0x7F});
  EXPECT_EQ(std::vector<float>({model.Snapshot().HtgSlGuTemp, model.Snapshot().HtgOutTemp}),
            std::vector<float>({1325.5f, -999.0f}));
}

TEST(ObjectData, AWordAtByte2MakesFourDataBytes) {
  ObjectRequest request{};
  PutDataByte(request, 0, 1);
  PutDataWord(request, 2, 250);
  EXPECT_EQ(DataCount(request), 4);
}

struct TextRow {
  const char* name;
  std::string text;
  const char* expected;
};

class ValueText : public ::testing::TestWithParam<TextRow> {};

TEST_P(ValueText, IsAsTheWindowShowsIt) { EXPECT_EQ(GetParam().text, GetParam().expected); }

// Rounding and the marker codes at their edges, which no reply above reaches.
// clang-format off
const TextRow kTexts[] = {
    {"Celsius5998", TemperatureText(5998, true, 0), " -0.1 \260C"},
    {"AnyUnitCodeButZeroIsFahrenheit", TemperatureText(5600, true, 2), " -3.9 \260F"},
    {"WholeDegreesRoundMinusHalfDown", TemperatureText(5990, false, 0), "   -1 \260C"},
    {"WholeDegreesKeepTheSignOfMinus02", TemperatureText(5996, false, 0), "   -0 \260C"},
    {"Marker7FFC", TemperatureText(0x7FFC, true, 0), "- ! -"},
    {"Marker7FFF", TemperatureText(0x7FFF, false, 0), "- x -"},
    {"NoMarkerBelow7FFC", TemperatureText(0x7FFB, true, 0), "1338.1 \260C"},
    {"NoMarkerAbove7FFF", TemperatureText(0x8000, true, 0), "1338.4 \260C"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(ValueFormat, ValueText, ::testing::ValuesIn(kTexts), kByName);

std::time_t March7th2026At130509() {
  std::tm local{};
  std::tie(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_isdst) =
      std::tuple(126, 2, 7, 13, 5, 9, -1);
  return std::mktime(&local);
}

TEST(ParameterReport, UnreadParametersGiveACompleteReportOfUndef) {
  EXPECT_EQ(ParameterReport(DisplayFields(), March7th2026At130509()),
            "Parameter Gelvar recorded 03/07/26 at 13:05:09\r\nMonitor V1.0\r\n\r\nAdministration:\r\n"
            " Mode System:            undef.\r\n Language:               undef.\r\n"
            " Temp. Unit:             undef.\r\n Alarm Mode:             undef.\r\n\r\n"
            " SW Version/Build:       undef.\r\n\r\nHeating System:\r\n Mode Heating:           undef.\r\n"
            " Min. Heating Time:      undef.\r\n High Temp. Limit:       undef.\r\n"
            " Low Temp. Limit:        undef.\r\n Idle Temp. Set Point:   undef.\r\n"
            " Moisture Limit:         undef.\r\n Operation Hours:        undef.\r\n"
            " Operation Hours XWK:    undef.\r\n\r\nSensor 1:\r\n Type Sensor:            undef.\r\n"
            " Mode Sensor:            undef.\r\n Moisture Limit:         undef.\r\n\r\nSensor 2:\r\n"
            " Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
            " Moisture Limit:         undef.\r\n\r\nEnd Parameter +++\r\n\r\n\r\n");
}

TEST(ParameterReport, AValueStartsInColumn26) {
  DisplayFields fields;
  fields.SetRead(Field::kS2Mode, 2);
  const std::string report = ParameterReport(fields, March7th2026At130509());
  EXPECT_NE(report.find("Sensor 2:\r\n Type Sensor:            undef.\r\n Mode Sensor:            Moisture\r\n"),
            std::string::npos);
}

TEST(VariableLog, HeaderNamesTheUnitAndThe35Columns) {
  EXPECT_EQ(LogHeader(March7th2026At130509(), 2),
            "Logfile Gelvar started 03/07/26 at 13:05:09, Temperature Unit: unknown\r\n"
            "Set#;Date;Time;AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;HtgOutTemp;"
            "HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;S1AmbTemp;S1LastMoist;"
            "S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;S2SenTemp;S2AmbTemp;S2LastMoist;"
            "S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;\r\n");
}

TEST(VariableLog, RecordOfUnreadValuesWritesMinus1AndMinus2WithDecimalCommas) {
  VariableSnapshot values;
  values.AdmErrFlg = 1;
  values.HtgSlGuTemp = 12.5f;
  values.HtgOutTemp = -3.0f;
  EXPECT_EQ(LogRecord(7, March7th2026At130509(), values),
            "00007; 03/07/26; 13:05:09;  1; -1; -1; -1; -1; -1;   12,5;   -3,0;  -1;-1;   -1;   -1"
            "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; -1,00;  -2"
            "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; -1,00;  -2\r\n");
}

}  // namespace
}  // namespace gelvar::testing
