// The byte pump between driver and line, and the protocol window's view of the link's inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <tuple>

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
// as the programs' event loop does.
struct BytePumpTest : LinkTest, LinePort, PumpMessages, LineObserver, VirtualScheduler {
  void SetUp() override {
    StartLink(link);
    ASSERT_EQ(pump.OpenChannel(0, 2), 1);
  }
  int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) override {
    opened = {portNumber, baudRate, byteSize, stopBits, parity};
    return 1;
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
  void StartFrame(const Bytes& frame) {
    link.memory.driver.state = kDriverIdle;
    std::copy(frame.begin(), frame.end() - 1, link.memory.driver.txBuffer);
    ASSERT_EQ(drv_start_tx(link, 0), kLinkOk);
  }
  void Append(const std::string& name, const Bytes& bytes) {
    std::ofstream(dir / name, std::ios::binary | std::ios::app) << std::string(bytes.begin(), bytes.end());
  }

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

// A frame leaves at 19200 8N1. The traces number the frames (up to 100000) and show them as the
// Windows program's text and as pane lines: a line for each frame or note, and a byte without a glyph
// of its own as a hex escape.
TEST_F(BytePumpTest, TracesNumberEachFrameAndShowEveryByteLegibly) {
  const Bytes frame = EncodeFrame(0x1234, {});
  StartFrame(frame);
  EXPECT_TRUE(pump.Pump());
  EXPECT_EQ(opened, (std::array{2, 19200, 8, 0, 0}));
  EXPECT_EQ(written, frame);
  EXPECT_EQ(pump.Tx().Text(), "\r\n0001-0[TH\xD1\x91]");
  // Bytes the port gives, hex or not, frames numbered before, the pane lines they give.
  const std::tuple<Bytes, bool, int, const char*> cases[] = {
      {frame, true, 6, "0007-0[54 48 D1 91 ]"},
      {frame, true, 99999, "100000-0[54 48 D1 91 ]"},
      {EncodeFrame(0x3003, {0x2E, 0x00}), false, 0, "0001-0[U\xC0<0C>.<00>\xAF]"},
      {{0x55, 0x0D, 0x0A, '<', 0x7F, 0xA0, 0xAD, 0xFF}, false, 0, "0001-0[U<0D><0A><3C><7F><A0>]<AD>\xFF"},
      {{0x41, 0x54, 0x00, 0x05, 0xA6, 0x42}, false, 0, "A\n0001-0[T<00><05>\xA6]B"},
  };
  for (const auto& [fed, hex, framesBefore, lines] : cases) {
    pump.Rx().Clear();
    pump.SetHex(hex);
    link.frameNumber = framesBefore;
    incoming = fed;
    pump.Pump();
    EXPECT_EQ(pump.Rx().PaneLines(), lines);
  }
  EXPECT_EQ(pump.Rx().Text(), std::string("A\r\n0001-0[T") + '\0' + "\x05\xA6]B");
  lost = true;
  pump.Pump();
  EXPECT_EQ(pump.Rx().PaneLines(), "A\n0001-0[T<00><05>\xA6]B\n*** COM2 lost");
}

// Both forms keep their tail once they pass the limit: the text exactly, the pane whole lines, or
// whole escapes when one line alone is longer; a pane just at the limit stays whole. A note alone
// cuts them too.
TEST_F(BytePumpTest, TracesKeepTheirTailsWithinTheLimit) {
  // Bytes fed once, bytes fed again and again, how often, then the text size and the pane start.
  const std::tuple<Bytes, Bytes, int, std::size_t, const char*> cases[] = {
      {{}, {0x01, 0x02, 0x03}, 1500, kTracePaneLimit, "<"},
      {{}, {'<', 'A', 'A', 'A', 'A', 'A'}, 700, kTracePaneLimit, "<"},
      {{}, EncodeFrame(0x1234, {0x3C, 0x3C}), 300, kTracePaneLimit, "0"},
      {{0x41, 0x54, 0x00, 0x05, 0xA6}, Bytes(163, 'B'), 25, kTracePaneLimit - 5, "A\n0"},
  };
  const TraceText& rx = pump.Rx();
  for (const auto& [head, fed, times, textSize, paneStart] : cases) {
    pump.Rx().Clear();
    FeedBytes(link, head);
    for (int i = 0; i < times; ++i) {
      FeedBytes(link, fed);
      pump.Pump();
      ASSERT_LE(rx.PaneLines().size(), kTracePaneLimit);
    }
    EXPECT_EQ(rx.Text().size(), textSize);
    EXPECT_GT(rx.PaneLines().size(), kTracePaneLimit - 40);
    EXPECT_TRUE(rx.PaneLines().starts_with(paneStart)) << rx.PaneLines().substr(0, 20);
  }
  lost = true;
  EXPECT_TRUE(pump.Pump());
  EXPECT_EQ(rx.Text().size(), kTracePaneLimit);
  EXPECT_LE(rx.PaneLines().size(), kTracePaneLimit);
}

// A P-t file takes the bytes instead of the port; a P-r file is fed before the port (which is then
// read only at the timer) and followed as it grows. Between timer messages the port is read as bytes
// arrive, a bounded share at a time; the next timer message shows what was read.
TEST_F(BytePumpTest, LineFilesStandInForThePortAndArrivingBytesAreReadABoundedShareAtATime) {
  int refreshes = 0;
  pump.Run(*this, [&refreshes] { ++refreshes; });
  StartFrame(EncodeFrame(0x0001, {}));
  Append("p-t", {0xEE});
  pump.OpenLineFile(kLineFileTx, 0, (dir / "p-t").string());
  EXPECT_EQ(link.memory.txRegister, -1) << "a waiting byte is dropped when an output opens";
  const Bytes frame = EncodeFrame(0x0001, {0x12, 0x34});
  StartFrame(frame);
  pump.Pump();
  EXPECT_EQ(ReadFile((dir / "p-t").string()), std::string(frame.begin(), frame.end()));
  EXPECT_TRUE(written.empty());
  pump.CloseLineFile(kLineFileTx, 0);

  const Bytes first = EncodeFrame(0x3003, {1, 0});
  Append("p-r", Bytes(first.begin(), first.begin() + 3));
  pump.OpenLineFile(kLineFileRx, 0, (dir / "p-r").string());
  incoming = {0x00};
  EXPECT_FALSE(readable);
  EXPECT_FALSE(pump.Receive());
  pump.Pump();
  EXPECT_EQ(link.memory.driver.state, kDriverReceiving) << "the port's byte came after the file's";
  Append("p-r", Bytes(first.begin() + 3, first.end()));
  pump.Pump();
  EXPECT_EQ(link.memory.converter.badFrames, 1) << "the stray port byte broke the first frame";
  Append("p-r", EncodeFrame(0x3002, {1, 4, 3, 16}));
  pump.Pump();
  EXPECT_EQ(link.memory.converter.slotStatus[0], 0xBF);

  const std::string missing = (dir / "none" / "p-r").string();
  pump.OpenLineFile(kLineFileRx, 0, missing);
  EXPECT_EQ(seen, "Fehler \326ffnen: " + missing + " ");
  EXPECT_EQ(pump.LineFileFlags(), 0);
  ASSERT_TRUE(readable);

  incoming = Bytes(300, 0x41);
  readable();
  EXPECT_EQ(incoming.size(), 300u - kReceiveQuota);
  AdvanceBy(kStartTickPeriodMs);
  EXPECT_EQ(refreshes, 1) << "the receive step's text is new to the window";
  EXPECT_EQ(incoming.size(), 300u - kReceiveQuota) << "a watched port is read only as bytes arrive";
  pump.CloseChannel(0);
  EXPECT_FALSE(readable);
}

// The device goes away under an open port and comes back: told once each way, tried again once a
// second whatever the timer period, and the frames meanwhile leave the driver into nothing.
TEST_F(BytePumpTest, LostDeviceIsToldOnceAndReopenedOnceASecond) {
  pump.SetLineObserver(this);
  link.periods.windowTimer = 50;  // not the start period: a second is counted in time, not in messages
  lost = true;
  EXPECT_TRUE(pump.Pump()) << "the note is new text";
  EXPECT_EQ(pump.Tx().Text(), "\r\n*** COM2 lost");
  for (int i = 0; i < 5000 / link.periods.windowTimer; ++i) {
    StartFrame(EncodeFrame(0x1234, {}));
    pump.Pump();
    ASSERT_EQ(link.memory.txRegister, -1) << "the driver is never left holding a byte";
  }
  for (int i = 0; i < 1000 / link.periods.windowTimer; ++i)
    EXPECT_FALSE(pump.Pump()) << "a failed reopening is no news";
  EXPECT_EQ(reopens, 6);
  lost = false;
  for (int i = 0; i < 1000 / link.periods.windowTimer; ++i) pump.Pump();
  EXPECT_EQ(seen, "lost2 back2 ");
  EXPECT_TRUE(pump.Tx().Text().ends_with("]\r\n*** COM2 reopened"));
  lost = true;
  pump.Pump();
  pump.CloseChannel(0);
  for (int i = 0; i < 200; ++i) pump.Pump();
  EXPECT_EQ(reopens, 7) << "closing a lost port ends the reopening";
}

TEST_F(BytePumpTest, LinkInsideShowsEachFieldsOwnValueOfChannelZero) {
  link.memory.driver = {kDriverReceiving, 0x2B, 0, 4, 6, {}, {}};
  // Every counter its own value: state, timeout, the five error counters, queue head, slot statuses.
  link.memory.converter = {kConvBackoff, 0, 200, 11, 12, 13, 255, 15, 0, 1, 0, {}, {}, {}, {1, 0, 3}, {}, {}, {}};
  // The driver's state, control, receive counter, indexes; the converter's state, timeout, queues, counters.
  const std::array<std::string, kInsideValueCount> expected = {
      "3", "2B", "0", "4", "0", "6", "4", "200", "1", "2", "11", "12", "15", "13", "255",
  };
  EXPECT_EQ(ReadLinkInside(link), expected);
}

}  // namespace
}  // namespace gelvar::testing
