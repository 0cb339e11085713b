// The byte pump between driver and line, and the diagnostics window's view of the link's inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "core/common/temp_folder.h"
#include "core/line/byte_pump.h"
#include "core/line/link_inside.h"
#include "core/tick/ticker.h"
#include "support/link_fixture.h"
#include "support/monitor_rig.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The fixture is the port (the bytes written, the bytes waiting, a device that goes and comes back),
// the message box, the line observer, and virtual time that also watches the port for arriving bytes,
// as the programs' event loop does. The pump serves COM2.
struct BytePumpTest : LinkTest, LinePort, PumpMessages, LineObserver, VirtualScheduler {
  void SetUp() override {
    StartLink(link);
    ASSERT_EQ(pump.OpenChannel(0, 2), 1);
    pump.SetLineObserver(this);
  }
  int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) override {
    opened = {portNumber, baudRate, byteSize, stopBits, parity};
    return opens;
  }
  int Close() override { return 1; }
  int Write(const std::uint8_t* bytes, int count) override {
    written.insert(written.end(), bytes, bytes + count);
    return count;
  }
  int Read(std::uint8_t* buffer, int maxCount) override {
    const int n = std::min(maxCount, static_cast<int>(incoming.size()));
    std::copy_n(incoming.begin(), n, buffer);
    incoming.erase(incoming.begin(), incoming.begin() + n);
    return n;
  }
  bool Lost() const override { return lost; }
  std::intptr_t ArrivalHandle() const override { return lost ? -1 : 7; }
  int Reopen() override {
    ++reopens;
    return lost ? 0 : 1;
  }
  void ShowMessage(const std::string& text) override { seen += text + " "; }
  void LineLost(int portNumber) override { seen += "lost" + std::to_string(portNumber) + " "; }
  void LineBack(int portNumber) override { seen += "back" + std::to_string(portNumber) + " "; }
  TimerId WatchReadable(std::intptr_t, std::function<void()> onReadable) override {
    readable = std::move(onReadable);
    return 1;
  }
  void StopWatch(TimerId) override { readable = nullptr; }

  // Puts a frame into the transmit buffer and starts it, as the converter does.
  void StartFrame(const Bytes& frame = {0x54, 0x48, 0xD1, 0x91}) {
    std::copy(frame.begin(), frame.end() - 1, link.memory.driver.txBuffer);
    ASSERT_EQ(drv_start_tx(link, 0), kLinkOk);
  }
  // Appends to a line file in the test's folder and answers its path.
  std::string File(const std::string& name, const Bytes& bytes = {}) {
    std::ofstream(dir / name, std::ios::binary | std::ios::app) << std::string(bytes.begin(), bytes.end());
    return (dir / name).string();
  }
  void Pump(int times) {
    for (int i = 0; i < times; ++i) pump.Pump();
  }
  // Bytes off the line, each batch followed by a pump step.
  void Receive(const Bytes& bytes, int times) {
    for (int i = 0; i < times; ++i) {
      FeedBytes(link, bytes);
      pump.Pump();
    }
  }

  int opens = 1;      // what Open answers
  bool lost = false;  // the device is gone: reopening fails until it is back
  int reopens = 0;
  std::array<int, 5> opened{};
  Bytes written;
  Bytes incoming;
  std::string seen;  // messages and line changes
  std::function<void()> readable;
  const TempFolder dir;
  BytePump pump{link, *this, *this};
};

TEST_F(BytePumpTest, ChannelOpensItsPortAt19200Baud8N1) { EXPECT_EQ(opened, (std::array{2, 19200, 8, 0, 0})); }

TEST_F(BytePumpTest, FailedPortOpenLeavesTheChannelWithoutPort) {
  pump.CloseChannel(0);
  opens = 0;
  EXPECT_EQ(pump.OpenChannel(0, 3), 0);
  EXPECT_EQ(pump.ComNumber(), -1);
}

TEST_F(BytePumpTest, FrameLeavesWholeInOneTimerStep) {
  StartFrame();
  pump.Pump();
  EXPECT_EQ(written, (Bytes{0x54, 0x48, 0xD1, 0x91}));
}

TEST_F(BytePumpTest, WithoutOutputAFrameStopsAtItsFirstByte) {
  pump.CloseChannel(0);
  StartFrame();
  pump.Pump();
  EXPECT_EQ(pump.Tx().PaneLines(), "0001-0[T");
}

TEST_F(BytePumpTest, PumpWithNothingNewAsksNoRefresh) {
  pump.Pump();
  EXPECT_FALSE(pump.Pump());
}

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
    {"BytesWithAGlyphAsThemselves", {0x55, 0xC0, 0x0C, 0x2E, 0x00, 0xAF}, false, 0, "0001-0[U\xC0<0C>.<00>\xAF]"},
    {"ControlBytesAndEscapeMarkInHex", {0x55, 0x0D, 0x0A, '<', 0x7F, 0xA0, 0xAD, 0xFF}, false, 0,
     "0001-0[U<0D><0A><3C><7F><A0>]<AD>\xFF"},
    {"BytesBetweenFramesOnTheFramesLines", {0x41, 0x54, 0x00, 0x05, 0xA6, 0x42}, false, 0, "A\n0001-0[T<00><05>\xA6]B"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Frames, RxPane, ::testing::ValuesIn(kPaneRows), RowName());

class LongRxText : public BytePumpTest, public ::testing::WithParamInterface<int> {};

TEST_P(LongRxText, KeepsItsLast4095Characters) {
  FeedBytes(link, {'B'});
  for (int left = GetParam() - 1; left > 0; left -= 200) Receive(Bytes(std::min(left, 200), 'A'), 1);
  EXPECT_EQ(pump.Rx().Text().substr(0, 2), GetParam() == 4095 ? "BA" : "AA");
  EXPECT_EQ(pump.Rx().Text().size(), 4095u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LongRxText, ::testing::Values(4095, 4096));

// The pane keeps whole lines: a cut inside a line takes the rest of that line too.
TEST_F(BytePumpTest, LongRxPaneKeepsWholeLines) {
  Receive({0x55, 0x00, 0x05, 0x3C, 0x3C, 0x5F}, 300);
  EXPECT_TRUE(pump.Rx().PaneLines().starts_with("0")) << pump.Rx().PaneLines().substr(0, 20);
  EXPECT_GT(pump.Rx().PaneLines().size(), 4095u - 30);
}

struct LineRow {
  const char* name;
  Bytes fed;  // again and again, no frame: one long line
  const char* start;
};

class LongRxLine : public BytePumpTest, public ::testing::WithParamInterface<LineRow> {};

TEST_P(LongRxLine, IsCutAtAWholeEscapeWithinTheLimit) {
  Receive(GetParam().fed, 700);
  EXPECT_TRUE(pump.Rx().PaneLines().starts_with(GetParam().start)) << pump.Rx().PaneLines().substr(0, 8);
  EXPECT_LE(pump.Rx().PaneLines().size(), 4095u);
}

const LineRow kLineRows[] = {
    {"ControlBytes", {0x01, 0x02, 0x03}, "<0"},
    {"EscapeMarksAmongLetters", {'<', 'A', 'A', 'A', 'A', 'A'}, "<3C>"},
};
INSTANTIATE_TEST_SUITE_P(Bytes, LongRxLine, ::testing::ValuesIn(kLineRows), RowName());

TEST_F(BytePumpTest, NoteAloneKeepsTheTextWithinTheLimit) {
  Receive(Bytes(200, 'A'), 25);
  lost = true;
  pump.Pump();
  EXPECT_EQ(pump.Rx().Text().size(), 4095u);
}

TEST_F(BytePumpTest, PtFileTakesTheFrameInsteadOfThePort) {
  const std::string pt = File("p-t");
  pump.OpenLineFile(kLineFileTx, 0, pt);
  StartFrame({0x55, 0x00, 0x05, 0x12, 0x34, 0x5F});
  pump.Pump();
  EXPECT_EQ(ReadFile(pt), std::string("\x55\x00\x05\x12\x34\x5F", 6));
  EXPECT_TRUE(written.empty());
}

TEST_F(BytePumpTest, OpeningAnOutputDropsTheWaitingByte) {
  StartFrame();
  pump.OpenLineFile(kLineFileTx, 0, File("p-t"));
  pump.Pump();
  EXPECT_EQ(ReadFile((dir / "p-t").string()), "");
}

TEST_F(BytePumpTest, OpeningThePortDropsTheWaitingByte) {
  pump.CloseChannel(0);
  StartFrame();
  pump.OpenChannel(0, 2);
  pump.Pump();
  EXPECT_TRUE(written.empty());
}

TEST_F(BytePumpTest, PrFileIsFedBeforeThePortAndFollowedAsItGrows) {
  pump.OpenLineFile(kLineFileRx, 0, File("p-r", {0x55, 0x00}));
  pump.Pump();
  File("p-r", {0x05, 0x12});
  incoming = {0x34, 0x5F};
  pump.Pump();
  link_check_slots(link);
  ObjectRequest request{0, 0, 0x0001, 0, {}};
  EXPECT_EQ(link_fetch(link, &request), 0x0001);
}

TEST_F(BytePumpTest, MissingPrFileIsToldAndNotUsed) {
  const std::string missing = (dir / "none" / "p-r").string();
  pump.OpenLineFile(kLineFileRx, 0, missing);
  EXPECT_EQ(seen, "Fehler \326ffnen: " + missing + " ");
  EXPECT_EQ(pump.LineFileFlags(), 0);
}

TEST_F(BytePumpTest, ClosingThePtFileLeavesThePrFileInUse) {
  pump.OpenLineFile(kLineFileTx, 0, File("p-t"));
  pump.OpenLineFile(kLineFileRx, 0, File("p-t"));
  pump.CloseLineFile(kLineFileTx, 0);
  EXPECT_EQ(pump.LineFileFlags(), kLineFileRx);
}

TEST_F(BytePumpTest, ReceiveStepWithAPrFileInUseHasNothingNew) {
  pump.OpenLineFile(kLineFileRx, 0, File("p-r"));
  incoming = {0x41};
  EXPECT_FALSE(pump.Receive());
}

class WatchedPort : public BytePumpTest {
 protected:
  void SetUp() override {
    BytePumpTest::SetUp();
    pump.Run(*this, [this] { ++refreshes; });
    incoming = Bytes(300, 0x41);
  }
  int refreshes = 0;
};

TEST_F(WatchedPort, ArrivingBytesAreRead127AtATime) {
  readable();
  EXPECT_EQ(incoming.size(), 300u - 127);
}

TEST_F(WatchedPort, IsNotReadAtTheTimer) {
  AdvanceBy(kStartTickPeriodMs);
  EXPECT_EQ(incoming.size(), 300u);
}

TEST_F(WatchedPort, NextTimerStepShowsWhatArrived) {
  readable();
  AdvanceBy(kStartTickPeriodMs);
  EXPECT_EQ(refreshes, 1);
}

TEST_F(WatchedPort, IsNoLongerWatchedOnceClosed) {
  pump.CloseChannel(0);
  EXPECT_FALSE(readable);
}

TEST_F(WatchedPort, IsNoLongerWatchedOnceAPrFileIsInUse) {
  pump.OpenLineFile(kLineFileRx, 0, File("p-r"));
  EXPECT_FALSE(readable);
}

TEST_F(BytePumpTest, LostDeviceIsToldOnce) {
  lost = true;
  Pump(100);
  EXPECT_EQ(seen, "lost2 ");
}

TEST_F(BytePumpTest, LostDeviceIsNotedInBothPanes) {
  lost = true;
  EXPECT_TRUE(pump.Pump());
  StartFrame();
  pump.Pump();
  EXPECT_EQ(pump.Rx().Text(), "\r\n*** COM2 lost");
  EXPECT_EQ(pump.Tx().PaneLines(), "*** COM2 lost\n0001-0[TH\xD1<91>]") << "frames leave into nothing";
}

struct ReopenRow {
  const char* name;
  int pumps;  // of 50 ms, after the one that noticed the loss
  int reopens;
};

class LostDevice : public BytePumpTest, public ::testing::WithParamInterface<ReopenRow> {};

TEST_P(LostDevice, IsTriedAgainOnceASecond) {
  link.periods.windowTimer = 50;
  lost = true;
  Pump(1 + GetParam().pumps);
  EXPECT_EQ(reopens, GetParam().reopens);
}

const ReopenRow kReopenRows[] = {{"NotBeforeASecond", 19, 0}, {"AfterASecond", 20, 1}, {"EverySecond", 100, 5}};
INSTANTIATE_TEST_SUITE_P(Pumps, LostDevice, ::testing::ValuesIn(kReopenRows), RowName());

TEST_F(BytePumpTest, FailedReopeningIsNoNews) {
  lost = true;
  Pump(100);  // the loss, then 99 timer steps of 10 ms
  ASSERT_EQ(reopens, 0);
  EXPECT_FALSE(pump.Pump()) << "the first reopening, a second after the loss";
}

TEST_F(BytePumpTest, DeviceBackIsToldAndNoted) {
  lost = true;
  Pump(10);
  lost = false;
  Pump(100);
  EXPECT_EQ(seen, "lost2 back2 ");
  EXPECT_EQ(pump.Rx().PaneLines(), "*** COM2 lost\n*** COM2 reopened");
}

TEST_F(BytePumpTest, ClosingALostPortEndsTheReopening) {
  lost = true;
  pump.Pump();
  pump.CloseChannel(0);
  Pump(300);
  EXPECT_EQ(reopens, 0);
}

TEST_F(BytePumpTest, LinkInsideShowsEachFieldsOwnValueOfChannelZero) {
  link.memory.driver = {kDriverReceiving, 0x2B, 0, 4, 6, {}, {}};
  link.memory.converter = {kConvBackoff, 0, 200, 11, 12, 13, 255, 15, 0, 1, 0, {}, {}, {}, {1, 0, 3}, {}, {}, {}};
  // The driver's state, control, receive counter, indexes; the converter's state, timeout, queues, counters.
  const std::array<std::string, kInsideValueCount> expected = {
      "3", "2B", "0", "4", "0", "6", "4", "200", "1", "2", "11", "12", "15", "13", "255",
  };
  EXPECT_EQ(ReadLinkInside(link), expected);
}

TEST_F(LinkTest, LinkInsideShowsDriverOffAsZeroAndControl00) {
  const auto texts = ReadLinkInside(link);
  EXPECT_EQ(texts[kDriverState], "0");
  EXPECT_EQ(texts[kDriverControl], "00");
}

}  // namespace
}  // namespace gelvar::testing
