// The sensor test window's control numbers: the window's own, for its widget lookup and its tests.
#pragma once

namespace gelvar::sensor_test_ids {

enum : int {
  kIdCancel = 2,
  kIdCycles = 1002,
  kIdRefused = 1003,
  kIdWaited = 1004,
  kIdDataSet = 1005,
  kIdSaveReport = 1007,
  kIdLogPane = 1008,
  kIdReadRecorded = 1009,
  kIdStartCycle1 = 1010,
  kIdStartCycle2 = 1011,
  kIdDescription = 1012,
  kIdTa1 = 1013,
  kIdTa2 = 1014,
  kIdTemperature1 = 1015,
  kIdTemperature2 = 1016,
  kIdCountdown = 1017,
  kIdTypeI = 1097,
  kIdTypeII = 1098,
};

}  // namespace gelvar::sensor_test_ids
