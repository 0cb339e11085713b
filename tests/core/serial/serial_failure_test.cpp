// What an error box says about a device the system refused or another program has: the advice
// follows from the device's owner, group and mode and the user's groups alone.
#include <gtest/gtest.h>

#include <string>

#include "core/serial/serial_port.h"

namespace gelvar::testing {
namespace {

struct AccessRow {
  const char* name;
  DeviceAccess access;
  std::string facts;
  std::string advice;
};

class RefusedOpenRows : public ::testing::TestWithParam<AccessRow> {};

TEST_P(RefusedOpenRows, NameOwnerGroupAndModeAndAdviseOnlyWhatHelps) {
  const AccessRow& row = GetParam();
  EXPECT_EQ(FailureReason({1, "Permission denied", row.access, std::nullopt}),
            "Permission denied \u2014 " + row.facts + row.advice);
}

const std::string kNoHelp = "; joining a group would not help, ask an administrator for access";
const std::string kLogInAgain = " $USER', then log out and in again";

// clang-format off
const AccessRow kAccessRows[] = {
    {"RootGroup", {"root", "root", true, 0660, false, false}, "owner root, group root, mode 0660", kNoHelp},
    {"GroupMayOnlyWrite", {"root", "tty", false, 0620, false, false}, "owner root, group tty, mode 0620", kNoHelp},
    {"GroupMayOnlyRead", {"root", "dialout", false, 0640, true, true}, "owner root, group dialout, mode 0640", kNoHelp},
    {"UserNotInTheGroup", {"uucp", "uucp", false, 0660, false, false}, "owner uucp, group uucp, mode 0660",
     "; join its group with 'sudo usermod -aG uucp" + kLogInAgain},
    {"UserInTheGroupButNotThisSession", {"root", "dialout", false, 0660, true, false},
     "owner root, group dialout, mode 0660",
     "; your user is in the group dialout but this session is not yet: log out and in again"},
    {"SessionInTheGroup", {"root", "dialout", false, 0660, true, true}, "owner root, group dialout, mode 0660", ""},
    {"SetuidBitsAndNumbersForNames", {"1042", "2042", false, 04660, false, false}, "owner 1042, group 2042, mode 4660",
     "; join its group with 'sudo usermod -aG 2042" + kLogInAgain},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Devices, RefusedOpenRows, ::testing::ValuesIn(kAccessRows),
                         [](const ::testing::TestParamInfo<AccessRow>& info) { return std::string(info.param.name); });

struct HolderRow {
  const char* name;
  int pid;
  const char* program;
  const char* reason;
};

class BusyDeviceRows : public ::testing::TestWithParam<HolderRow> {};

TEST_P(BusyDeviceRows, NameTheHolderWhenALockTells) {
  const HolderRow& row = GetParam();
  const DeviceHolder holder{row.pid, row.program};
  EXPECT_EQ(FailureReason({1, "Device or resource busy", std::nullopt, holder}), row.reason);
}

// Plain texts in the rows: GCC 12's optimiser takes a string member of a row for uninitialised.
const HolderRow kHolderRows[] = {
    {"NoLock", 0, "", "Device or resource busy \u2014 in use by another program"},
    {"LockOfANamedProgram", 4242, "gelvar-cli", "Device or resource busy \u2014 in use by gelvar-cli (process 4242)"},
    {"LockOfAProcessWithoutCommandLine", 77, "", "Device or resource busy \u2014 in use by process 77"},
};

INSTANTIATE_TEST_SUITE_P(Holders, BusyDeviceRows, ::testing::ValuesIn(kHolderRows),
                         [](const ::testing::TestParamInfo<HolderRow>& info) { return std::string(info.param.name); });

TEST(FailureReason, IsTheSystemsReasonAloneForOtherFailures) {
  EXPECT_EQ(FailureReason({1, "No such file or directory", std::nullopt, std::nullopt}), "No such file or directory");
}

TEST(OneLineFailure, RunsOnAfterTheFirstLinesColonAndSeparatesTheRest) {
  EXPECT_EQ(OneLineFailure("Error open COM1:\n/dev/ttyS0: No such file or directory\nCOM 1 is /dev/ttyS0 (no "
                           "device chosen for COM 1)"),
            "Error open COM1: /dev/ttyS0: No such file or directory; COM 1 is /dev/ttyS0 (no device chosen for "
            "COM 1)");
}

}  // namespace
}  // namespace gelvar::testing
