#include "monitor/device_model.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "monitor/message_pane.h"
#include "monitor/read_cycle.h"

namespace gelvar {
namespace {

// Begins a step unless told to refuse; the test plays the reply into the request by hand.
class FakeStepHost : public StepHost {
 public:
  int BeginStep(StepHandler handler, std::uint32_t objectId) override {
    if (refuse) return kStepRefused;
    current = handler;
    objectIds.push_back(objectId);
    request.count = 0;
    return kStepBegun;
  }
  ObjectRequest& StepRequest() override { return request; }
  void SetCommunicationMode(int value) override { mode = value; }
  void AddMessage(int code) override { messages.push_back(code); }

  bool refuse = false;
  StepHandler current = nullptr;
  std::vector<std::uint32_t> objectIds;
  ObjectRequest request{};
  int mode = kCommandRunning;
  std::vector<int> messages;
};

class DeviceModelTest : public ::testing::Test {
 protected:
  // Begins the handler's step and answers it with the given bytes; returns the phase 2 result.
  int Exchange(StepHandler handler, int argument, std::vector<std::uint8_t> reply) {
    EXPECT_EQ((model.*handler)(1, argument), kStepBegun);
    for (std::size_t i = 0; i < 4; ++i) host.request.data[i] = i < reply.size() ? reply[i] : 0;
    host.request.count = static_cast<std::uint8_t>(reply.size());
    return (model.*handler)(2, static_cast<int>(reply.size()));
  }
  const std::string& Text(int controlId) const { return model.Fields().Text(controlId); }

  FakeStepHost host;
  DeviceModel model{host};
};

TEST_F(DeviceModelTest, EveryFieldStartsUndefinedIncludingTheHiddenOnes) {
  ASSERT_EQ(DisplayFields::ControlIds().size(), 52u);
  for (int id : DisplayFields::ControlIds()) EXPECT_EQ(Text(id), "undef.") << id;
  for (int hidden : {1041, 1076, 1083}) EXPECT_EQ(Text(hidden), "undef.");
  EXPECT_EQ(Text(1077), "");  // a progress bar, not a value field
  const VariableSnapshot& log = model.Snapshot();
  EXPECT_EQ(log.AdmErrFlg, -1);
  EXPECT_EQ(log.HtgSlGuTemp, -1.0f);
  EXPECT_EQ(log.sensor[0].CharVal, -2);
  EXPECT_EQ(log.sensor[1].CharVal, -2);
  EXPECT_EQ(log.sensor[1].Volt, -1.0f);
}

struct DecodeCase {
  const char* name;
  StepHandler handler;
  int argument;
  std::vector<std::uint8_t> reply;
  std::map<int, std::string> texts;
};

TEST_F(DeviceModelTest, RepliesBecomeDisplayTexts) {
  const DecodeCase cases[] = {
      {"language", &DeviceModel::ReadLanguageUnit, 0, {0x01, 0}, {{1039, "EN"}, {1040, "\xB0" "C"}}},
      {"version", &DeviceModel::ReadVersion, 0, {1, 4, 16, 3}, {{1044, "1.04 B0316"}}},
      {"low limit", &DeviceModel::ReadLowTempLimit, 0, {0xE0, 0x15}, {{1029, "  -20 \xB0" "C"}}},
      {"idle", &DeviceModel::ReadIdleTemp, 0, {0xA2, 0x17}, {{1030, "    3 \xB0" "C"}}},
      {"heating moisture", &DeviceModel::ReadHeatingMoistLimit, 0, {0, 0}, {{1031, "00"}}},
      {"op hours", &DeviceModel::ReadOpHours, 1, {0xFF, 0xFF}, {{1100, "65535 h"}}},
      {"type s2", &DeviceModel::ReadSensorType, 1, {0, 0}, {{1033, "kein F\xFC" "hler"}}},
      {"moist limit s2", &DeviceModel::ReadSensorMoistLimit, 1, {0, 0}, {{1037, "- x -"}}},
      {"adm errors", &DeviceModel::ReadAdmErrFlags, 0, {0, 0, 0xA1, 0x00}, {{1042, "00A1"}}},
      {"internal state", &DeviceModel::ReadAdmIntState, 0, {3, 7}, {{1043, "M3 - E7"}}},
      {"heating state", &DeviceModel::ReadHeatingState, 0, {8, 0x01, 0x02, 0x05},
       {{1045, "Heating(Idel)"}, {1047, " Ta"}, {1048, " S2"}, {1046, " Ta Mx"}}},
      {"heating temps", &DeviceModel::ReadHeatingTemps, 0, {0xFE, 0x7F, 0x10, 0x7F},
       {{1049, "- v -"}, {1050, "1326.4 \xB0" "C"}}},
      {"relay", &DeviceModel::ReadHeatingRelay, 0, {1, 0, 45, 0}, {{1052, "On"}, {1051, "45 min"}}},
      {"state s2", &DeviceModel::ReadSensorState, 1, {11, 0x01, 0x03, 0},
       {{1072, "Moist.Det."}, {1070, " Ts Mb"}, {1068, " M!"}}},
      {"temps s1", &DeviceModel::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17},
       {{1065, " 12.5 \xB0" "C"}, {1063, " -0.4 \xB0" "C"}}},
      {"moisture s2", &DeviceModel::ReadSensorMoisture, 1, {0, 9, 12, 3},
       {{1062, "- ? -"}, {1060, "12 min"}, {1054, "3 min"}}},
      {"electric s1", &DeviceModel::ReadSensorElectric, 0, {0xD2, 0x04, 0x39, 0x30},
       {{1055, "12.34 V"}, {1057, "12345"}}},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Exchange(c.handler, c.argument, c.reply), kReplyAccepted) << c.name;
    for (const auto& [id, text] : c.texts) EXPECT_EQ(Text(id), text) << c.name << " field " << id;
  }
}

TEST_F(DeviceModelTest, RepliesBecomeLogValues) {
  Exchange(&DeviceModel::ReadAdmIntState, 0, {3, 7});
  Exchange(&DeviceModel::ReadHeatingTemps, 0, {0x10, 0x7F, 0x34, 0x17});  // 0x7F10 and -3.0
  Exchange(&DeviceModel::ReadSensorElectric, 1, {0x05, 0x00, 0xFF, 0xFF});
  Exchange(&DeviceModel::ReadSensorState, 1, {5, 1, 2, 0});
  const VariableSnapshot& log = model.Snapshot();
  EXPECT_EQ(log.AdmIntStat, 775);
  EXPECT_EQ(log.HtgSlGuTemp, -999.0f);
  EXPECT_FLOAT_EQ(log.HtgOutTemp, -3.0f);
  EXPECT_FLOAT_EQ(log.sensor[1].Volt, 0.05f);
  EXPECT_EQ(log.sensor[1].CharVal, 65535);
  EXPECT_EQ(log.sensor[1].State, 5);
  EXPECT_EQ(log.sensor[1].Flags, 1);
  EXPECT_EQ(log.sensor[1].Error, 2);
  EXPECT_EQ(log.sensor[0].CharVal, -2);
}

TEST_F(DeviceModelTest, UnitByteSwitchesLaterTemperaturesToFahrenheit) {
  Exchange(&DeviceModel::ReadLanguageUnit, 0, {0x12, 0});
  EXPECT_EQ(Text(1039), "FR");
  EXPECT_EQ(Text(1040), "\xB0" "F");
  EXPECT_EQ(model.TemperatureUnitCode(), 1);
  Exchange(&DeviceModel::ReadHighTempLimit, 0, {0x00, 0x19});  // 6400
  EXPECT_EQ(Text(1028), "   68 \xB0" "F");
  Exchange(&DeviceModel::ReadSensorTemps, 0, {0x70, 0x17, 0x00, 0x00});  // 6000
  EXPECT_EQ(Text(1065), " 32.0 \xB0" "F");
  EXPECT_FLOAT_EQ(model.Snapshot().sensor[0].SenTemp, 32.0f);

  Exchange(&DeviceModel::ReadLanguageUnit, 0, {0x25, 0});  // unit nibble 2: unknown, still Fahrenheit
  EXPECT_EQ(Text(1039), "unknown");
  EXPECT_EQ(Text(1040), "unknown");
  Exchange(&DeviceModel::ReadIdleTemp, 0, {0x70, 0x17});
  EXPECT_EQ(Text(1030), "   32 \xB0" "F");
  EXPECT_EQ(Text(1065), " 32.0 \xB0" "F");  // texts already made keep their unit
}

TEST_F(DeviceModelTest, WrongCountLeavesFieldsUndefinedAndLogValuesNotRead) {
  Exchange(&DeviceModel::ReadHeatingState, 0, {1, 2, 3, 4});
  EXPECT_EQ(Exchange(&DeviceModel::ReadHeatingState, 0, {1, 2}), kReplyWrongFormat);
  for (int id : {1045, 1046, 1047, 1048}) EXPECT_EQ(Text(id), "undef.") << id;
  EXPECT_EQ(model.Snapshot().HtgState, -1);
  EXPECT_EQ(model.Snapshot().HtgErrFlg, -1);
  EXPECT_EQ(Exchange(&DeviceModel::ReadLanguageUnit, 0, {0x12, 0, 0, 0}), kReplyWrongFormat);
  EXPECT_EQ(model.TemperatureUnitCode(), 0);
}

TEST_F(DeviceModelTest, RefusedBeginLeavesTheStepInProgressAlone) {
  ASSERT_EQ(model.ReadSensorTemps(1, 0), kStepBegun);
  host.refuse = true;
  EXPECT_EQ(model.ReadSensorTemps(1, 1), kStepRefused);
  EXPECT_EQ(model.CmdMinHeatTime(1, 1), kStepRefused);
  EXPECT_EQ(model.PendingArgument(), 0);
  EXPECT_EQ(host.request.count, 0);  // no command bytes slipped into the reading's request
  host.request = ObjectRequest{0, 4, 0x0C84, 0, {0x6A, 0x18, 0x6A, 0x18}};
  EXPECT_EQ(model.ReadSensorTemps(2, 4), kReplyAccepted);
  EXPECT_EQ(Text(1065), " 12.5 \xB0" "C");  // sensor 1's field, the step in progress
  EXPECT_EQ(Text(1066), "undef.");           // sensor 2's was only marked by the refused begin
}

}  // namespace
}  // namespace gelvar
