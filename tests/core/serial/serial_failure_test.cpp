// What an error box says about a device the system refused or another program has: the advice
// follows from the device's owner, group and mode and the user's groups alone.
#include <gtest/gtest.h>

#include <string>

#include "core/serial/serial_port.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

const std::string kDenied = "Permission denied", kBusy = "Device or resource busy";
const std::string kNoHelp = "; joining a group would not help, ask an administrator for access";
const std::string kLogInAgain = " $USER', then log out and in again";

// clang-format off
// The system's reason, what it tells of the device's owner, group, mode and the user's groups, the pid
// and program of a lock on it (pid -1: none looked at); the text shown.
struct FailureRow {
  const char* name; std::string reason; std::optional<DeviceAccess> access; int pid; const char* program; std::string text;
};
const FailureRow kFailureRows[] = {
    {"RootGroup", kDenied, DeviceAccess{"root", "root", true, 0660}, -1, "",
     "Permission denied \u2014 owner root, group root, mode 0660" + kNoHelp},
    {"GroupMayOnlyWrite", kDenied, DeviceAccess{"root", "tty", false, 0620}, -1, "",
     "Permission denied \u2014 owner root, group tty, mode 0620" + kNoHelp},
    {"GroupMayOnlyRead", kDenied, DeviceAccess{"root", "dialout", false, 0640, true, true}, -1, "",
     "Permission denied \u2014 owner root, group dialout, mode 0640" + kNoHelp},
    {"UserNotInTheGroup", kDenied, DeviceAccess{"uucp", "uucp", false, 0660}, -1, "",
     "Permission denied \u2014 owner uucp, group uucp, mode 0660; join its group with 'sudo usermod -aG uucp"
     + kLogInAgain},
    {"UserInTheGroupNotInThisSession", kDenied, DeviceAccess{"root", "dialout", false, 0660, true, false}, -1, "",
     "Permission denied \u2014 owner root, group dialout, mode 0660; your user is in the group dialout but this session "
     "is not yet: log out and in again"},
    {"SessionInTheGroup", kDenied, DeviceAccess{"root", "dialout", false, 0660, true, true}, -1, "",
     "Permission denied \u2014 owner root, group dialout, mode 0660"},
    {"SetuidBitsAndNumbersForNames", kDenied, DeviceAccess{"1042", "2042", false, 04660}, -1, "",
     "Permission denied \u2014 owner 1042, group 2042, mode 4660; join its group with 'sudo usermod -aG 2042"
     + kLogInAgain},
    {"BusyWithoutLock", kBusy, std::nullopt, 0, "", "Device or resource busy \u2014 in use by another program"},
    {"BusyWithALockOfANamedProgram", kBusy, std::nullopt, 4242, "gelvar-cli",
     "Device or resource busy \u2014 in use by gelvar-cli (process 4242)"},
    {"BusyWithALockOfAProcessWithoutCommandLine", kBusy, std::nullopt, 77, "",
     "Device or resource busy \u2014 in use by process 77"},
    {"OtherFailureIsTheSystemsReasonAlone", "No such file", std::nullopt, -1, "", "No such file"},
};
// clang-format on
class FailureReasonRows : public ::testing::TestWithParam<FailureRow> {};

TEST_P(FailureReasonRows, NamesWhatTheSystemTellsAndAdvisesOnlyWhatHelps) {
  const FailureRow& row = GetParam();
  std::optional<DeviceHolder> holder;
  if (row.pid >= 0) holder = DeviceHolder{row.pid, row.program};
  EXPECT_EQ(FailureReason({1, row.reason, row.access, holder}), row.text);
}
INSTANTIATE_TEST_SUITE_P(Devices, FailureReasonRows, ::testing::ValuesIn(kFailureRows), RowName());

}  // namespace
}  // namespace gelvar::testing
