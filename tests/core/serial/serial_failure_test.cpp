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
const std::string kJoin = "; join its group with 'sudo usermod -aG ";
const std::string kAgain = " $USER', then log out and in again";
const std::string kNotYet = "; your user is in the group dialout but this session is not yet: log out and in again";
using Access = DeviceAccess;
using Lock = DeviceHolder;

// clang-format off
// The system's reason, what it tells of the device's owner, group, mode and the user's groups, a lock
// on it; what the box says after the reason and a dash.
struct FailureRow {
  const char* name; std::string reason; std::optional<Access> access; std::optional<Lock> lock; std::string told;
};
const FailureRow kFailureRows[] = {
    {"RootGroup", kDenied, Access{"root", "root", true, 0660}, {}, "owner root, group root, mode 0660" + kNoHelp},
    {"GroupOnlyWrites", kDenied, Access{"root", "tty", false, 0620}, {}, "owner root, group tty, mode 0620" + kNoHelp},
    {"GroupOnlyReads", kDenied, Access{"root", "dialout", false, 0640, true, true}, {},
     "owner root, group dialout, mode 0640" + kNoHelp},
    {"UserNotInTheGroup", kDenied, Access{"uucp", "uucp", false, 0660}, {},
     "owner uucp, group uucp, mode 0660" + kJoin + "uucp" + kAgain},
    {"UserInTheGroupNotInThisSession", kDenied, Access{"root", "dialout", false, 0660, true}, {},
     "owner root, group dialout, mode 0660" + kNotYet},
    {"SessionInTheGroup", kDenied, Access{"root", "dialout", false, 0660, true, true}, {},
     "owner root, group dialout, mode 0660"},
    {"SetuidBitsAndNumbersForNames", kDenied, Access{"1042", "2042", false, 04660}, {},
     "owner 1042, group 2042, mode 4660" + kJoin + "2042" + kAgain},
    {"BusyWithoutLock", kBusy, {}, Lock{}, "in use by another program"},
    {"BusyWithALockOfANamedProgram", kBusy, {}, Lock{4242, "gelvar-cli"}, "in use by gelvar-cli (process 4242)"},
    {"BusyWithALockOfAProcessWithoutCommandLine", kBusy, {}, Lock{77, ""}, "in use by process 77"},
    {"OtherFailureIsTheSystemsReasonAlone", "No such file", {}, {}, ""},
};
// clang-format on
class FailureReasonRows : public ::testing::TestWithParam<FailureRow> {};

TEST_P(FailureReasonRows, NamesWhatTheSystemTellsAndAdvisesOnlyWhatHelps) {
  const FailureRow& row = GetParam();
  const std::string shown = FailureReason({1, row.reason, row.access, row.lock});
  EXPECT_EQ(shown, row.reason + (row.told.empty() ? "" : " \u2014 " + row.told));
}
INSTANTIATE_TEST_SUITE_P(Devices, FailureReasonRows, ::testing::ValuesIn(kFailureRows), kByName);

}  // namespace
}  // namespace gelvar::testing
