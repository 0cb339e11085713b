// The unit's replies as display texts, the temperature texts and the parameter report's bytes.
#include "monitor/device_model.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "monitor/parameter_report.h"
#include "monitor/read_cycle.h"
#include "monitor/value_format.h"

namespace gelvar {
namespace {

// The model's steps with their replies played in by hand; a step begins unless told to refuse.
class DeviceModelTest : public ::testing::Test, public StepHost {
 protected:
  int BeginStep(StepHandler, std::uint32_t) override {
    if (refuse) return kStepRefused;
    request.count = 0;
    return kStepBegun;
  }
  ObjectRequest& StepRequest() override { return request; }
  void CommandReplied() override {}
  void AddMessage(int) override {}

  // Begins the handler's step and answers it with the given bytes; returns the phase 2 result.
  int Exchange(StepHandler handler, int argument, const std::vector<std::uint8_t>& reply) {
    EXPECT_EQ((model.*handler)(1, argument), kStepBegun);
    request = ObjectRequest{};
    request.count = static_cast<std::uint8_t>(reply.size());
    std::copy(reply.begin(), reply.end(), request.data);
    return (model.*handler)(2, static_cast<int>(reply.size()));
  }
  const std::string& Text(int controlId) const { return model.Fields().Text(controlId); }

  bool refuse = false;
  ObjectRequest request{};
  DeviceModel model{*this};
};

TEST_F(DeviceModelTest, RepliesBecomeDisplayTexts) {
  const struct {
    StepHandler handler;
    int argument;
    std::vector<std::uint8_t> reply;
    std::map<int, std::string> texts;
  } cases[] = {
      {&DeviceModel::ReadLowTempLimit, 0, {0xE0, 0x15}, {{1029, "  -20 \260C"}}},
      {&DeviceModel::ReadIdleTemp, 0, {0xA2, 0x17}, {{1030, "    3 \260C"}}},
      {&DeviceModel::ReadHeatingMoistLimit, 0, {0, 0}, {{1031, "00"}}},
      {&DeviceModel::ReadOpHours, 1, {0xFF, 0xFF}, {{1100, "65535 h"}}},
      {&DeviceModel::ReadSensorType, 1, {0, 0}, {{1033, "kein F\374hler"}}},
      {&DeviceModel::ReadSensorMoistLimit, 1, {0, 0}, {{1037, "- x -"}}},
      {&DeviceModel::ReadAdmErrFlags, 0, {0, 0, 0xA1, 0x00}, {{1042, "00A1"}}},
      {&DeviceModel::ReadAdmIntState, 0, {3, 7}, {{1043, "M3 - E7"}}},
      {&DeviceModel::ReadHeatingState,
       0,
       {8, 0x01, 0x02, 0x05},
       {{1045, "Heating(Idel)"}, {1047, " Ta"}, {1048, " S2"}, {1046, " Ta Mx"}}},
      {&DeviceModel::ReadHeatingTemps, 0, {0xFE, 0x7F, 0x10, 0x7F}, {{1049, "- v -"}, {1050, "1326.4 \260C"}}},
      {&DeviceModel::ReadHeatingRelay, 0, {1, 0, 45, 0}, {{1052, "On"}, {1051, "45 min"}}},
      {&DeviceModel::ReadSensorState, 1, {11, 0x01, 0x03, 0}, {{1072, "Moist.Det."}, {1070, " Ts Mb"}, {1068, " M!"}}},
      {&DeviceModel::ReadSensorTemps, 0, {0x6A, 0x18, 0x68, 0x17}, {{1065, " 12.5 \260C"}, {1063, " -0.4 \260C"}}},
      {&DeviceModel::ReadSensorMoisture, 1, {0, 9, 12, 3}, {{1062, "- ? -"}, {1060, "12 min"}, {1054, "3 min"}}},
      {&DeviceModel::ReadSensorElectric, 0, {0x05, 0x00, 0x39, 0x30}, {{1055, " 0.05 V"}, {1057, "12345"}}},
      // The unit byte switches later temperatures to Fahrenheit; texts already made keep their unit.
      {&DeviceModel::ReadLanguageUnit, 0, {0x12, 0}, {{1040, "\260F"}, {1065, " 12.5 \260C"}}},
      {&DeviceModel::ReadHighTempLimit, 0, {0x00, 0x19}, {{1028, "   68 \260F"}}},
      {&DeviceModel::ReadSensorTemps, 0, {0x70, 0x17, 0x00, 0x00}, {{1065, " 32.0 \260F"}}},
      {&DeviceModel::ReadLanguageUnit, 0, {0x0A, 0}, {{1040, "\260C"}, {1039, "unknown"}}},  // unit: the high nibble
      {&DeviceModel::ReadSensorTemps, 0, {0x70, 0x17, 0x00, 0x00}, {{1065, "  0.0 \260C"}}},
  };
  for (int id : DisplayFields::ControlIds()) EXPECT_EQ(Text(id), "undef.") << id;
  for (const auto& c : cases) {
    EXPECT_EQ(Exchange(c.handler, c.argument, c.reply), kReplyAccepted);
    for (const auto& [id, text] : c.texts) EXPECT_EQ(Text(id), text) << "field " << id;
  }
}

TEST_F(DeviceModelTest, RefusedBeginLeavesTheStepInProgressAlone) {
  ASSERT_EQ(model.ReadSensorTemps(1, 0), kStepBegun);
  refuse = true;
  EXPECT_EQ(model.ReadSensorTemps(1, 1), kStepRefused);
  EXPECT_EQ(model.CmdMinHeatTime(1, 1), kStepRefused);
  EXPECT_EQ(request.count, 0);  // no command bytes slipped into the reading's request
  request = ObjectRequest{0, 4, 0x0C84, 0, {0x6A, 0x18, 0x6A, 0x18}};
  EXPECT_EQ(model.ReadSensorTemps(2, 4), kReplyAccepted);
  EXPECT_EQ(Text(1065), " 12.5 \260C");  // sensor 1's field, the step in progress
  EXPECT_EQ(Text(1066), "undef.");       // sensor 2's was only marked by the refused begin
}

TEST(ValueFormat, TemperatureTexts) {
  const struct {
    int code;
    bool withDecimal;
    int unit;
    const char* text;
  } cases[] = {
      {6000, true, 0, "  0.0 \260C"},
      {0, true, 0, "-300.0 \260C"},
      {5600, true, 1, " -3.9 \260F"},
      {0x7FFC, true, 0, "- ! -"},
      {0x7FFD, false, 1, "- ^ -"},
      {2, true, 2, "-507.7 \260F"},  // any unit code but 0 is Fahrenheit
      // Whole degrees round halves away from zero; -0.2 keeps its sign as printf shows it.
      {6050, false, 0, "    3 \260C"},
      {6070, false, 0, "    4 \260C"},
      {5990, false, 0, "   -1 \260C"},
      {6010, false, 0, "    1 \260C"},
      {5996, false, 0, "   -0 \260C"},
      {5650, false, 1, "    1 \260F"},
      {5672, false, 1, "    3 \260F"},
      {5683, false, 1, "    4 \260F"},
      {5638, false, 1, "   -1 \260F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TemperatureText(c.code, c.withDecimal, c.unit), c.text) << c.code << " unit " << c.unit;
  }
}

TEST(ParameterReport, UnreadParametersGiveACompleteReportOfUndef) {
  std::tm local{9, 5, 13, 7, 2, 126, 0, 0, -1, 0, nullptr};  // 03/07/26 13:05:09 in local time
  const std::string expected =
      "Parameter Gelvar recorded 03/07/26 at 13:05:09\r\nMonitor V1.0\r\n\r\n"
      "Administration:\r\n"
      " Mode System:            undef.\r\n Language:               undef.\r\n"
      " Temp. Unit:             undef.\r\n Alarm Mode:             undef.\r\n\r\n"
      " SW Version/Build:       undef.\r\n\r\n"
      "Heating System:\r\n"
      " Mode Heating:           undef.\r\n Min. Heating Time:      undef.\r\n"
      " High Temp. Limit:       undef.\r\n Low Temp. Limit:        undef.\r\n"
      " Idle Temp. Set Point:   undef.\r\n Moisture Limit:         undef.\r\n"
      " Operation Hours:        undef.\r\n Operation Hours XWK:    undef.\r\n\r\n"
      "Sensor 1:\r\n"
      " Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n\r\n"
      "Sensor 2:\r\n"
      " Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n\r\n"
      "End Parameter +++\r\n\r\n\r\n";
  EXPECT_EQ(ParameterReport(DisplayFields(), std::mktime(&local)), expected);
}

}  // namespace
}  // namespace gelvar
