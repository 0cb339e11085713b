#include "tools/byte_pump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "app/ticker.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FakePort : public LinePort {
 public:
  int Open(int portNumber, int, int, int, int) override {
    opened = portNumber;
    return failOpen ? 0 : 1;
  }
  int Close() override {
    opened = -1;
    return 1;
  }
  int Write(const std::uint8_t* bytes, int count) override {
    written.insert(written.end(), bytes, bytes + count);
    return count;
  }
  int Read(std::uint8_t* buffer, int maxCount) override {
    int n = 0;
    while (n < maxCount && !incoming.empty()) {
      buffer[n++] = incoming.front();
      incoming.erase(incoming.begin());
    }
    return n;
  }
  bool Lost() const override { return lost; }
  int Reopen() override {
    ++reopens;
    if (!deviceBack) return 0;
    lost = false;
    return 1;
  }
  int opened = -1;
  bool failOpen = false;
  bool lost = false;
  bool deviceBack = false;
  int reopens = 0;
  Bytes written;
  Bytes incoming;
};

class Messages : public PumpMessages {
 public:
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

class CountingObserver : public LineObserver {
 public:
  void LineLost(int portNumber) override { seen += "lost" + std::to_string(portNumber) + " "; }
  void LineBack(int portNumber) override { seen += "back" + std::to_string(portNumber) + " "; }
  std::string seen;
};

class BytePumpTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    StartLink();
    dir = std::filesystem::temp_directory_path() / ("gelvar_pump_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    LinkTest::TearDown();
  }
  // Puts a frame into the transmit buffer and starts it, as the converter does.
  static void StartFrame(const Bytes& frame) {
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) linkMemory.driver.txBuffer[i] = frame[i];
    linkMemory.driver.control |= kFrameReady;
    ASSERT_EQ(drv_start_tx(0), kLinkOk);
  }
  static Bytes ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  FakePort port;
  Messages messages;
  BytePump pump{port, messages};
  std::filesystem::path dir;
};

TEST(HexByteTest, TwoUpperCaseDigitsOfTheLowByte) {
  const struct {
    int value;
    const char* text;
  } cases[] = {{0, "00"}, {0x0A, "0A"}, {0xFF, "FF"}, {0x1AB, "AB"}, {-1, "FF"}};
  for (const auto& c : cases) EXPECT_EQ(HexByte(c.value), c.text);
}

TEST_F(BytePumpTest, WholeFrameLeavesInOneRunAndIsTraced) {
  ASSERT_EQ(pump.OpenChannel(0, 3), 1);
  EXPECT_EQ(port.opened, 3);
  const Bytes frame = MakeFrame(0x1234, {});
  StartFrame(frame);
  EXPECT_TRUE(pump.Pump());
  EXPECT_EQ(port.written, frame);
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
  EXPECT_EQ(pump.TxText(), "\r\n0001-0[TH\xD1\x91]");

  port.incoming = MakeFrame(0x3003, {0x2E, 0x00});
  EXPECT_TRUE(pump.Pump());
  EXPECT_EQ(linkMemory.converter.slotStatus[0], 0x7F);
  EXPECT_EQ(pump.RxText(), std::string("\r\n0002-0[U\xC0\x0C.\0\xAF]", 16));
  EXPECT_FALSE(pump.Pump()) << "nothing new";
}

TEST_F(BytePumpTest, HexTraceAndWideFrameNumbers) {
  pump.SetHex(true);
  const struct {
    std::int32_t before;
    const char* start;
  } cases[] = {{6, "\r\n0007-0["}, {99999, "\r\n100000-0["}, {0, "\r\n0001-0["}};
  for (const auto& c : cases) {
    pump.RxText().clear();
    frameNumber = c.before;
    FeedBytes(MakeFrame(0x1234, {}));
    pump.Pump();
    EXPECT_EQ(pump.RxText(), std::string(c.start) + "54 48 D1 91 ]");
  }
}

TEST_F(BytePumpTest, PaneKeepsItsLast4095Characters) {
  for (int i = 0; i < 200; ++i) FeedBytes({0x41});
  pump.Pump();
  std::string& rx = pump.RxText();
  rx.insert(0, std::string(5000, 'x'));
  EXPECT_FALSE(pump.Pump());
  EXPECT_EQ(rx.size(), 5200u) << "a pane that got nothing new is not cut";
  FeedBytes({0x42});
  EXPECT_TRUE(pump.Pump());
  EXPECT_EQ(rx.size(), kTracePaneLimit);
  EXPECT_EQ(rx.back(), 'B');
}

TEST_F(BytePumpTest, NothingMovesWithoutAnOutput) {
  StartFrame(MakeFrame(0x1234, {}));
  EXPECT_TRUE(pump.Pump()) << "the start of the frame is still shown";
  EXPECT_EQ(linkMemory.driver.state, kDriverSending);
  EXPECT_TRUE(port.written.empty());
}

TEST_F(BytePumpTest, TxFileTakesTheBytesInsteadOfThePort) {
  ASSERT_EQ(pump.OpenChannel(0, 1), 1);
  StartFrame(MakeFrame(0x0001, {0x12, 0x34}));
  const auto path = dir / "p-t.bin";
  pump.OpenLineFile(kLineFileTx, 0, path.string());
  ASSERT_EQ(pump.LineFileFlags(), kLineFileTx);
  EXPECT_EQ(linkMemory.txRegister, -1) << "a waiting byte is dropped when an output opens";
  pump.Pump();
  linkMemory.driver.state = kDriverIdle;
  const Bytes frame = MakeFrame(0x0001, {0x12, 0x34});
  StartFrame(frame);
  pump.Pump();
  EXPECT_EQ(ReadFile(path), frame);
  EXPECT_TRUE(port.written.empty());
  pump.CloseLineFile(kLineFileTx, 0);
  EXPECT_EQ(pump.LineFileFlags(), 0);
}

TEST_F(BytePumpTest, RxFileIsFedFirstAndFollowedAsItGrows) {
  ASSERT_EQ(pump.OpenChannel(0, 1), 1);
  const auto path = dir / "p-r.bin";
  const Bytes first = MakeFrame(0x3003, {1, 0});
  const Bytes second = MakeFrame(0x3002, {1, 4, 3, 16});
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(first.data()), 3);
  pump.OpenLineFile(kLineFileRx, 0, path.string());
  port.incoming = {0x00};
  pump.Pump();
  EXPECT_EQ(linkMemory.driver.state, kDriverReceiving) << "port byte came after the file's";
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(first.data()) + 3, static_cast<std::streamsize>(first.size() - 3));
  }
  pump.Pump();
  EXPECT_EQ(linkMemory.converter.badFrames, 1) << "the stray port byte broke the first frame";
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(second.data()), static_cast<std::streamsize>(second.size()));
  }
  pump.Pump();
  EXPECT_EQ(linkMemory.converter.slotStatus[0], 0xBF);
  pump.OpenLineFile(kLineFileTx, 0, (dir / "t.bin").string());
  pump.CloseLineFile(kLineFileTx, 0);
  EXPECT_EQ(pump.LineFileFlags(), kLineFileRx) << "closing P-t leaves P-r in use";
}

TEST_F(BytePumpTest, FailuresAreReportedWithTheName) {
  const std::string missing = (dir / "none" / "p-r.bin").string();
  pump.OpenLineFile(kLineFileRx, 0, missing);
  pump.OpenLineFile(kLineFileTx, 0, "");
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0], "Fehler \xD6" "ffnen: " + missing);
  EXPECT_EQ(messages.shown[1], "Fehler \xD6" "ffnen: ");
  EXPECT_EQ(pump.LineFileFlags(), 0);
  pump.CloseLineFile(kLineFileRx, 0);  // nothing to close

  port.failOpen = true;
  EXPECT_EQ(pump.OpenChannel(0, 7), 0);
  EXPECT_EQ(pump.ComNumber(), -1);
  EXPECT_EQ(pump.OpenChannel(1, 7), 0) << "only channel 0 has a line";
}

// The device goes away under an open port and comes back: told once each way, tried again once a
// second whatever the timer period, and the frames meanwhile leave the driver into nothing.
TEST_F(BytePumpTest, LostDeviceIsToldOnceAndReopenedOnceASecond) {
  for (const std::int32_t period : {10, 50}) {
    SCOPED_TRACE(period);
    windowTimerPeriod = period;
    const int pumpsPerSecond = 1000 / period;
    CountingObserver observer;
    pump.SetLineObserver(&observer);
    port = FakePort{};
    pump.TxText().clear();
    ASSERT_EQ(pump.OpenChannel(0, 2), 1);
    pump.Pump();
    port.lost = true;
    EXPECT_TRUE(pump.Pump()) << "the note is new text";
    EXPECT_TRUE(pump.LineLost());
    EXPECT_EQ(pump.TxText(), "\r\n*** COM2 lost");
    EXPECT_TRUE(pump.RxText().ends_with("\r\n*** COM2 lost"));
    pump.TxText().clear();
    for (int i = 0; i < 5 * pumpsPerSecond; ++i) {
      linkMemory.driver.state = kDriverIdle;
      StartFrame(MakeFrame(0x1234, {}));
      pump.Pump();
      ASSERT_EQ(linkMemory.txRegister, -1) << "the driver is never left holding a byte";
    }
    EXPECT_EQ(port.reopens, 5);
    EXPECT_EQ(observer.seen, "lost2 ");
    port.deviceBack = true;
    for (int i = 0; i < pumpsPerSecond; ++i) pump.Pump();
    EXPECT_EQ(observer.seen, "lost2 back2 ");
    EXPECT_FALSE(pump.LineLost());
    EXPECT_EQ(port.reopens, 6);
    EXPECT_TRUE(pump.TxText().ends_with("]\r\n*** COM2 reopened"));
    EXPECT_EQ(pump.TxText().find("lost"), std::string::npos) << "told once";
    pump.CloseChannel(0);
  }
  windowTimerPeriod = kStartTickPeriodMs;
}

TEST_F(BytePumpTest, ClosingALostPortEndsTheReopening) {
  CountingObserver observer;
  pump.SetLineObserver(&observer);
  ASSERT_EQ(pump.OpenChannel(0, 1), 1);
  port.lost = true;
  pump.Pump();
  pump.CloseChannel(0);
  EXPECT_FALSE(pump.LineLost());
  port.deviceBack = true;
  for (int i = 0; i < 300; ++i) pump.Pump();
  EXPECT_EQ(port.reopens, 0);
  EXPECT_EQ(observer.seen, "lost1 ");
  ASSERT_EQ(pump.OpenChannel(0, 1), 1);
  port.lost = false;
  pump.Pump();
  EXPECT_FALSE(pump.LineLost());
}

}  // namespace
}  // namespace gelvar::testing
