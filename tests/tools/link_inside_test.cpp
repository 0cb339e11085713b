#include "tools/link_inside.h"

#include <map>

#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using LinkInsideTest = LinkTest;

std::map<int, std::string> Fields() {
  std::map<int, std::string> fields;
  for (const InsideField& field : ReadLinkInside()) fields[field.controlId] = field.text;
  return fields;
}

TEST_F(LinkInsideTest, EachFieldShowsItsOwnValueOfChannelZero) {
  DriverRecord& driver = linkMemory.driver;
  driver.state = kDriverReceiving;
  driver.control = 0x2B;
  driver.txIndex = 4;
  driver.rxIndex = 6;
  ConverterRecord& conv = linkMemory.converter;
  conv.state = kConvBackoff;
  conv.timeoutValue = 200;
  conv.queueOverflows = 11;
  conv.dropped = 12;
  conv.slotOverflows = 13;
  conv.badFrames = 255;
  conv.rxTimeouts = 15;
  conv.head = 1;
  conv.tail = 0;
  conv.slotStatus[0] = 1;
  conv.slotStatus[2] = 3;

  const std::map<int, std::string> expected = {
      {1042, "3"},  {1043, "2B"}, {1044, "0"},  {1045, "4"},  {1060, "0"},
      {1046, "6"},  {1070, "11"}, {1050, "12"}, {1048, "13"}, {1047, "255"},
      {1049, "15"}, {1066, "4"},  {1068, "200"}, {1064, "1"}, {1062, "2"},
  };
  EXPECT_EQ(Fields(), expected);
}

}  // namespace
}  // namespace gelvar::testing
