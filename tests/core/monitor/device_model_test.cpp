// The step handlers with their replies played in by hand: what each reply shows, what a reply of the
// wrong size leaves, what the commands send and answer, and the texts of the values.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <tuple>

#include "core/monitor/device_model.h"
#include "core/monitor/message_pane.h"
#include "core/monitor/parameter_report.h"
#include "core/monitor/value_format.h"
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
  void CommandReplied() override {}
  void AddMessage(int code) override { messages.push_back(code); }

  // Begins the handler's step and answers it with the bytes; the phase 2 result.
  int Exchange(StepHandler handler, int argument, const Bytes& reply) {
    (model.*handler)(1, argument);
    sent = SentData();
    request.count = static_cast<std::uint8_t>(reply.size());
    std::copy(reply.begin(), reply.end(), request.data);
    return (model.*handler)(2, static_cast<int>(reply.size()));
  }
  std::string Text(Field field) const { return model.Fields().Text(field); }
  // Every field that shows more than "undef.", by its name in the log.
  std::string Shown() const {
    std::string shown;
    for (const Field field : AllFields())
      if (Text(field) != "undef.") shown += (shown.empty() ? "" : "; ") + (FieldName(field) + ("=" + Text(field)));
    return shown;
  }
  Bytes SentData() const { return Bytes(request.data, request.data + (request.count & 0x0F)); }

  bool refuse = false;
  ObjectRequest request{};
  Bytes sent;  // by the last Exchange
  std::vector<std::uint32_t> begunIds;
  std::vector<int> messages;
  DeviceModel model{*this};
};

struct ReplyRow {
  const char* name;
  StepHandler handler;
  int argument;  // the sensor, 0 or 1
  Bytes reply;
  const char* shown;
};

class Reply : public DeviceModelTest, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(Reply, ShowsTheseFields) {
  Exchange(GetParam().handler, GetParam().argument, GetParam().reply);
  EXPECT_EQ(Shown(), GetParam().shown);
}

using M = DeviceModel;
// clang-format off
const ReplyRow kReplies[] = {
    {"LanguageUnit", &M::ReadLanguageUnit, 0, {0x12, 0}, "AdmLanguage=FR; AdmTempUnit=\260F"},
    {"LanguageUnitOfUnit2", &M::ReadLanguageUnit, 0, {0x20, 0}, "AdmLanguage=DE; AdmTempUnit=unknown"},
    {"IdleTempRoundsHalfAwayFromZero", &M::ReadIdleTemp, 0, {0xA2, 0x17}, "HtgIdleTemp=    3 \260C"},
    {"OpHoursLargest", &M::ReadOpHours, 1, {0xFF, 0xFF}, "HtgOpHours=65535 h"},
    {"S2Type0", &M::ReadSensorType, 1, {0, 0}, "S2Type=kein F\374hler"},
    {"S2MoistLimit0", &M::ReadSensorMoistLimit, 1, {0, 0}, "S2MoisLimit=- x -"},
    {"S1MoistLimit7", &M::ReadSensorMoistLimit, 0, {7, 0}, "S1MoisLimit=07"},
    {"AdmErrorFlags", &M::ReadAdmErrFlags, 0, {0, 0, 0xA1, 0}, "AdmErrFlg=00A1"},
    {"InternalState", &M::ReadAdmIntState, 0, {3, 7}, "AdmIntStat=M3 - E7"},
    {"HeatingState", &M::ReadHeatingState, 0, {8, 1, 2, 5},
     "HtgState=Heating(Idel); HtgErrFlg= Ta Mx; HtgTempFlg= Ta; HtgMoisFlg= S2"},
    {"HeatingTemps", &M::ReadHeatingTemps, 0, {0xFE, 0x7F, 0x10, 0x7F}, "HtgSlGuTemp=- v -; HtgOutTemp=1326.4 \260C"},
    {"HeatingRelay", &M::ReadHeatingRelay, 0, {1, 0, 45, 0}, "HtgRemHtime=45 min; HtgOffOn=On"},
    {"S2State", &M::ReadSensorState, 1, {11, 1, 3, 0}, "S2State=Moist.Det.; S2Error= Ts Mb; S2Flags= M!"},
    {"S1Temps", &M::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17}, "S1SenTemp= 12.5 \260C; S1AmbTemp= -0.4 \260C"},
    {"S2Moisture", &M::ReadSensorMoisture, 1, {0, 9, 12, 3}, "S2LastMoist=- ? -; S2ItimMois=12 min; S2ItimTemp=3 min"},
    {"S1Electric", &M::ReadSensorElectric, 0, {5, 0, 0x39, 0x30}, "S1Volt= 0.05 V; S1CharVal=12345"},
    // A reply of the size another object has shows nothing of it.
    {"ModeSystemOf2Bytes", &M::ReadModeSystem, 0, {1, 1}, ""},
    {"LanguageUnitOf4Bytes", &M::ReadLanguageUnit, 0, {1, 1, 1, 1}, ""},
    {"HeatingStateOf2Bytes", &M::ReadHeatingState, 0, {1, 1}, ""},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(DeviceModel, Reply, ::testing::ValuesIn(kReplies), kByName);

struct CommandRow {
  const char* name;
  StepHandler handler;
  int argument;
  std::uint32_t objectId;
  Bytes sent, reply;
  int result;
  std::vector<int> messages;
};

class CommandStep : public DeviceModelTest, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(CommandStep, SendsItsObjectAndBytesAndAnswersTheReply) {
  const CommandRow& row = GetParam();
  request.count = 4;  // a step before left its bytes here
  const int result = Exchange(row.handler, row.argument, row.reply);
  EXPECT_EQ(std::tuple(begunIds, sent, result, messages),
            std::tuple(std::vector<std::uint32_t>{row.objectId}, row.sent, row.result, row.messages));
}

// clang-format off
const CommandRow kCommands[] = {
    {"MinHeatTimeStopped", &M::CmdMinHeatTime, 0, 0x0C09, {0, 0}, {0, 0}, kReplyAcceptedToo, {kMsgMinHeatTimeStopped}},
    {"Cycle2StartedWith2", &M::CmdMoistureCycle, 1, 0x0C97, {1, 0}, {2, 0}, kReplyAccepted,
     {kMsgMoistureCycleStarted}},
    {"Cycle1RefusedWith3", &M::CmdMoistureCycle, 0, 0x0C87, {1, 0}, {3, 0}, kReplyWrongCommand, {}},
    {"CycleOf4IsWrongFormat", &M::CmdMoistureCycle, 0, 0x0C87, {1, 0}, {2, 0, 0, 0}, kReplyWrongFormat, {}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(DeviceModel, CommandStep, ::testing::ValuesIn(kCommands), kByName);

TEST_F(DeviceModelTest, ARefusedBeginLeavesTheRunningStepsSensor) {
  model.ReadSensorTemps(1, 0);
  refuse = true;
  model.ReadSensorTemps(1, 1);
  request = ObjectRequest{0, 4, 0x0C84, 0, {0x6A, 0x18, 0x6A, 0x18}};
  model.ReadSensorTemps(2, 4);
  EXPECT_EQ(Text(Field::kS1Temp), " 12.5 \260C");
}

TEST_F(DeviceModelTest, ARefusedCommandBeginPutsNoBytesIntoTheRunningStep) {
  model.ReadSensorTemps(1, 0);
  refuse = true;
  EXPECT_EQ(model.CmdMinHeatTime(1, 1), kStepRefused);
  EXPECT_EQ(SentData(), Bytes{});
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
    {"AnyUnitCodeButZeroIsFahrenheit", TemperatureText(5600, true, 2), " -3.9 \260F"},
    {"WholeDegreesRoundMinusHalfDown", TemperatureText(5990, false, 0), "   -1 \260C"},
    {"WholeDegreesKeepTheSignOfMinus02", TemperatureText(5996, false, 0), "   -0 \260C"},
    {"Marker7FFC", TemperatureText(0x7FFC, true, 0), "- ! -"},
    {"Marker7FFF", TemperatureText(0x7FFF, false, 0), "- x -"},
    {"NoMarkerBelow7FFC", TemperatureText(0x7FFB, true, 0), "1338.1 \260C"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(ValueFormat, ValueText, ::testing::ValuesIn(kTexts), kByName);

std::time_t March7th2026At130509() {
  std::tm local{};
  std::tie(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_isdst) =
      std::tuple(126, 2, 7, 13, 5, 9, -1);
  return std::mktime(&local);
}

TEST(ParameterReport, ListsEveryParameterWithItsValueInColumn26) {
  DisplayFields fields;
  fields.SetRead(Field::kS2Mode, 2);
  EXPECT_EQ(ParameterReport(fields, March7th2026At130509()),
            "Parameter Gelvar recorded 03/07/26 at 13:05:09\r\nMonitor V1.0\r\n\r\nAdministration:\r\n"
            " Mode System:            undef.\r\n Language:               undef.\r\n"
            " Temp. Unit:             undef.\r\n Alarm Mode:             undef.\r\n\r\n"
            " SW Version/Build:       undef.\r\n\r\nHeating System:\r\n Mode Heating:           undef.\r\n"
            " Min. Heating Time:      undef.\r\n High Temp. Limit:       undef.\r\n"
            " Low Temp. Limit:        undef.\r\n Idle Temp. Set Point:   undef.\r\n"
            " Moisture Limit:         undef.\r\n Operation Hours:        undef.\r\n"
            " Operation Hours XWK:    undef.\r\n\r\nSensor 1:\r\n Type Sensor:            undef.\r\n"
            " Mode Sensor:            undef.\r\n Moisture Limit:         undef.\r\n\r\nSensor 2:\r\n"
            " Type Sensor:            undef.\r\n Mode Sensor:            Moisture\r\n"
            " Moisture Limit:         undef.\r\n\r\nEnd Parameter +++\r\n\r\n\r\n");
}

}  // namespace
}  // namespace gelvar::testing
