// The byte pump between driver and line: what it sends and receives, the protocol panes, the line files
// and a device that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "core/common/temp_folder.h"
#include "core/line/byte_pump.h"
#include "core/tick/ticker.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The fixture is the port (the bytes waiting, a device that goes and comes back), the message box, the
// line observer and the event loop that watches the port. The pump serves COM2.
struct BytePumpTest : LinkTest, LinePort, PumpMessages, LineObserver, TimerHost {
  void SetUp() override {
    StartLink(link);
    ASSERT_EQ(pump.OpenChannel(0, 2), 1);
    pump.SetLineObserver(this);
  }
  int Open(int port, int baud, int size, int stop, int parity) override {
    opened = {port, baud, size, stop, parity};
    return 1;
  }
  int Close() override { return 1; }
  int Write(const std::uint8_t*, int count) override { return count; }
  int Read(std::uint8_t* buffer, int maxCount) override {
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(maxCount), incoming.size());
    std::copy_n(incoming.begin(), n, buffer);
    incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
  }
  bool Lost() const override { return lost; }
  std::intptr_t ArrivalHandle() const override { return lost ? -1 : 7; }
  int Reopen() override { return ++reopens, lost ? 0 : 1; }
  void ShowMessage(const std::string&) override {}
  void LineLost(int) override {}
  void LineBack(int) override {}
  TimerId StartTimer(std::int32_t, std::function<void()>) override { return 1; }
  void StopTimer(TimerId) override {}
  TimerId WatchReadable(std::intptr_t, std::function<void()>) override { return watched = true, 2; }
  void StopWatch(TimerId) override { watched = false; }

  // Bytes off the line, each batch followed by a pump step.
  void Pump(int times, const Bytes& bytes = {}) {
    for (int i = 0; i < times; ++i) FeedBytes(link, bytes), pump.Pump();
  }

  bool lost = false;  // the device is gone: reopening fails until it is back
  int reopens = 0;
  bool watched = false;  // the port, by the event loop
  std::array<int, 5> opened{};
  Bytes incoming;
  const TempFolder dir;
  BytePump pump{link, *this, *this};
};

TEST_F(BytePumpTest, ChannelOpensItsPortAt19200Baud8N1) { EXPECT_EQ(opened, (std::array{2, 19200, 8, 0, 0})); }

struct PaneRow {
  const char* name;
  Bytes fed;  // off the line
  bool hex;
  int framesBefore;
  const char* lines;
};

class RxPane : public BytePumpTest, public ::testing::WithParamInterface<PaneRow> {};

TEST_P(RxPane, ShowsEachFrameOnALineOfItsOwn) {
  pump.SetHex(GetParam().hex);
  link.frameNumber = GetParam().framesBefore;
  incoming = GetParam().fed;
  pump.Pump();
  EXPECT_EQ(pump.Rx().PaneLines(), GetParam().lines);
}

// clang-format off
const PaneRow kPaneRows[] = {
    {"HexNumbersRunTo100000ThenStartAt1", {0x54, 0x48, 0xD1, 0x91, 0x54, 0x48, 0xD1, 0x91}, true, 99999,
     "100000-0[54 48 D1 91 ]\n0001-0[54 48 D1 91 ]"},
    {"ControlBytesAndEscapeMarkInHex", {0x55, 0x0D, 0x0A, '<', 0x7F, 0xA0, 0xAD, 0xFF}, false, 0,
     "0001-0[U<0D><0A><3C><7F><A0>]<AD>\xFF"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Frames, RxPane, ::testing::ValuesIn(kPaneRows), kByName);

struct LineRow {
  const char* name;
  Bytes fed;  // again and again, no frame: one long line
  const char* start;
};

class LongRxLine : public BytePumpTest, public ::testing::WithParamInterface<LineRow> {};

TEST_P(LongRxLine, IsCutAtAWholeEscapeWithinTheLimit) {
  Pump(700, GetParam().fed);
  EXPECT_TRUE(pump.Rx().PaneLines().starts_with(GetParam().start)) << pump.Rx().PaneLines().substr(0, 8);
  EXPECT_LE(pump.Rx().PaneLines().size(), 4095u);
}

const LineRow kLineRows[] = {
    {"ControlBytes", {0x01, 0x02, 0x03}, "<0"},
    {"EscapeMarksAmongLetters", {'<', 'A', 'A', 'A', 'A', 'A'}, "<3C>"},
};
INSTANTIATE_TEST_SUITE_P(Bytes, LongRxLine, ::testing::ValuesIn(kLineRows), kByName);

class LongRxText : public BytePumpTest, public ::testing::WithParamInterface<int> {};

// 4095 characters fit; the 4096th pushes out the first.
TEST_P(LongRxText, KeepsItsLast4095Characters) {
  Pump(1, {'B'});
  Pump(GetParam() - 1, {'A'});
  EXPECT_EQ(pump.Rx().Text().substr(0, 2) + " " + std::to_string(pump.Rx().Text().size()),
            GetParam() == 4095 ? "BA 4095" : "AA 4095");
}

INSTANTIATE_TEST_SUITE_P(Characters, LongRxText, ::testing::Values(4095, 4096),
                         [](const auto& info) { return "Received" + std::to_string(info.param); });

TEST_F(BytePumpTest, NoteAloneKeepsTheTextWithinTheLimit) {
  Pump(25, Bytes(200, 'A'));
  lost = true;
  pump.Pump();
  EXPECT_EQ(pump.Rx().Text().size(), 4095u);
}

TEST_F(BytePumpTest, BytesFromThePortReachTheDriverAsAReply) {
  incoming = {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F};
  pump.Pump();
  link_check_slots(link);
  ObjectRequest request{0, 0, 0x0001, 0, {}};
  EXPECT_EQ(link_fetch(link, &request), 0x0001);
}

TEST_F(BytePumpTest, ReceiveStepWithAPrFileInUseHasNothingNew) {
  std::ofstream(dir / "p-r");
  pump.OpenLineFile(kLineFileRx, 0, (dir / "p-r").string());
  incoming = {0x41};
  EXPECT_FALSE(pump.Receive());
}

TEST_F(BytePumpTest, AClosedPortIsNoLongerWatched) {
  pump.Run(*this, {});
  const bool before = watched;
  pump.CloseChannel(0);
  EXPECT_EQ(std::pair(before, watched), std::pair(true, false));
}

struct ReopenRow {
  const char* name;
  int pumps;  // of 50 ms, after the one that noticed the loss
  int reopens;
  bool closed = false;  // the port, at once after the loss
};

class LostDevice : public BytePumpTest, public ::testing::WithParamInterface<ReopenRow> {};

TEST_P(LostDevice, IsTriedAgainOnceASecond) {
  link.periods.windowTimer = 50;
  lost = true;
  pump.Pump();
  if (GetParam().closed) pump.CloseChannel(0);
  Pump(GetParam().pumps);
  EXPECT_EQ(reopens, GetParam().reopens);
}

const ReopenRow kReopenRows[] = {
    {"NotBeforeASecond", 19, 0},
    {"AfterASecond", 20, 1},
    {"EverySecond", 100, 5},
    {"NotOnceThePortIsClosed", 100, 0, true},
};
INSTANTIATE_TEST_SUITE_P(Pumps, LostDevice, ::testing::ValuesIn(kReopenRows), kByName);

TEST_F(BytePumpTest, ALostDeviceFailingToReopenIsNoNews) {
  lost = true;
  Pump(100);  // the loss, then 99 timer steps of 10 ms
  ASSERT_EQ(reopens, 0);
  EXPECT_FALSE(pump.Pump()) << "the first reopening, a second after the loss";
}

}  // namespace
}  // namespace gelvar::testing
