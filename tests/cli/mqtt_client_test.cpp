// MqttClient against a broker of the test's own that accepts (or refuses) every login, acknowledges
// what is published at QoS 1, and keeps every packet it received.
#include "cli/mqtt_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Event = MqttClient::Event;

constexpr int kConnect = 0x10, kPublish = 0x30, kDisconnect = 0xE0;

bool Eventually(const std::function<bool()>& condition, int seconds = 5) {
  for (int i = 0; i < seconds * 200 && !condition(); ++i) std::this_thread::sleep_for(5ms);
  return condition();
}

// Binds socket to a free loopback port and returns the port.
int BoundToLoopback(int socket) {
  sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t size = sizeof address;
  ::bind(socket, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

int ClosedPort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  const int port = BoundToLoopback(socket);
  ::close(socket);
  return port;
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 10) == 1;
}

std::size_t Length16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]) * 256u + static_cast<std::uint8_t>(bytes[at + 1]);
}

struct Packet {
  int header;
  std::string body;
};

// A PUBLISH as its header byte, its topic and its payload.
std::tuple<int, std::string, std::string> Message(const Packet& publish) {
  const std::size_t topic = Length16(publish.body, 0), id = (publish.header & 0x06) ? 2 : 0;
  return {publish.header, publish.body.substr(2, topic), publish.body.substr(2 + topic + id)};
}

// One connection at a time; Drop() closes it as a broker that goes away. Stalled, it reads nothing,
// as a network that stops forwarding; Resume() drops the stalled connection with what it held.
class FakeBroker {
  const int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);

 public:
  const int port = BoundToLoopback(listener_);

  explicit FakeBroker(char connackCode = 0) : code_(connackCode) {
    ::listen(listener_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeBroker() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  void Drop() { drop_ = true; }
  void Stall() { stalled_ = true; }
  void Resume() {
    drop_ = true;
    stalled_ = false;
  }
  std::vector<Packet> Received(int type) {
    const std::lock_guard lock(mutex_);
    std::vector<Packet> found;
    std::ranges::copy_if(received_, std::back_inserter(found), [&](const Packet& p) { return (p.header & 0xF0) == type; });
    return found;
  }

 private:
  void Serve() {
    while (!stop_) {
      if (!Readable(listener_)) continue;
      client_ = ::accept(listener_, nullptr, nullptr);
      for (Packet packet; Receive(packet);) Answer(packet);
      ::close(client_);
      drop_ = false;
    }
  }
  bool Receive(Packet& packet) {
    std::string header;
    if (!Read(header, 1)) return false;
    std::size_t length = 0;
    for (int shift = 0; header.size() == 1 || (header.back() & 0x80); shift += 7) {
      if (!Read(header, 1)) return false;
      length |= static_cast<std::size_t>(header.back() & 0x7F) << shift;
    }
    packet = {static_cast<std::uint8_t>(header[0]), ""};
    return Read(packet.body, length);
  }
  bool Read(std::string& into, std::size_t count) {
    for (char byte; count > 0; --count) {
      while (stalled_ || !Readable(client_)) {
        if (stop_ || drop_) return false;
        if (stalled_) std::this_thread::sleep_for(10ms);
      }
      if (::read(client_, &byte, 1) != 1) return false;
      into += byte;
    }
    return !stop_ && !drop_;
  }
  void Answer(const Packet& packet) {
    if ((packet.header & 0xF0) == kConnect) Send({0x20, 2, 0, code_});
    if ((packet.header & 0xF0) == kPublish && (packet.header & 0x06)) {
      Send("\x40\x02"s + packet.body.substr(2 + Length16(packet.body, 0), 2));
    }
    const std::lock_guard lock(mutex_);
    received_.push_back(packet);
  }
  void Send(const std::string& bytes) { EXPECT_EQ(::write(client_, bytes.data(), bytes.size()), std::ssize(bytes)); }

  const char code_;
  int client_ = -1;
  std::atomic<bool> stop_ = false, drop_ = false, stalled_ = false;
  std::mutex mutex_;
  std::vector<Packet> received_;
  std::thread thread_;
};

MqttClient::Settings SettingsFor(int port) {
  MqttClient::Settings settings;
  settings.target.host = "127.0.0.1";
  settings.target.port = port;
  settings.will = {"site/status", "offline"};
  return settings;
}

class MqttClientTest : public ::testing::Test {
 protected:
  MqttClient& Started(MqttClient::Settings settings) {
    client.emplace(std::move(settings));
    std::string error;
    EXPECT_TRUE(client->Start(error)) << error;
    return *client;
  }
  MqttClient& Connected() {
    Started(SettingsFor(broker.port));
    EXPECT_TRUE(Awaited(Event::kConnected)) << "no connection";
    return *client;
  }
  // The first report of this kind the client gives within seconds.
  std::optional<MqttClient::Report> Awaited(Event event, int seconds = 5) {
    std::optional<MqttClient::Report> found;
    Eventually(
        [&] {
          for (const MqttClient::Report& report : client->TakeReports()) {
            if (report.event == event && !found) found = report;
          }
          return found.has_value();
        },
        seconds);
    return found;
  }
  std::vector<Packet> ReceivedOnce(int type, std::size_t count) {
    EXPECT_TRUE(Eventually([&] { return broker.Received(type).size() >= count; })) << "fewer than " << count;
    return broker.Received(type);
  }

  FakeBroker broker;
  std::optional<MqttClient> client;
};

// The CONNECT's body: protocol name and level, flags, keep-alive, client id, will, user, password.
TEST_F(MqttClientTest, LoginLeavesARetainedWillAtQosOneUnderAStableClientId) {
  Connected();
  const std::string login = ReceivedOnce(kConnect, 1).at(0).body;
  EXPECT_EQ(login.substr(0, 19), "\0\4MQTT\4\x2E\0\x1E\0\x17gelvar-"s);
  EXPECT_EQ(login.substr(35), "\0\x0Bsite/status\0\x07offline"s);
}

TEST_F(MqttClientTest, LoginCarriesTheUserAndThePassword) {
  MqttClient::Settings settings = SettingsFor(broker.port);
  settings.target.user = "ops";
  settings.password = "secret";
  Started(settings);
  EXPECT_TRUE(ReceivedOnce(kConnect, 1).at(0).body.ends_with("offline\0\3ops\0\6secret"s));
}

TEST_F(MqttClientTest, GreetingAndLatestAreRetainedOthersAreNotAllAtQosOne) {
  Connected().SetGreeting({{"site/status", "online"}});
  client->PublishLatest({"site/state", "{}"});
  client->Publish({"site/messages", "I> started"});
  const std::vector<Packet> got = ReceivedOnce(kPublish, 3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(Message(got[0]), (std::tuple{0x33, "site/status", "online"}));
  EXPECT_EQ(Message(got[1]), (std::tuple{0x33, "site/state", "{}"}));
  EXPECT_EQ(Message(got[2]), (std::tuple{0x32, "site/messages", "I> started"}));
}

TEST_F(MqttClientTest, GreetingSetBeforeTheConnectionGoesOutOnConnecting) {
  Started(SettingsFor(broker.port)).SetGreeting({{"site/status", "online"}});
  EXPECT_EQ(std::get<2>(Message(ReceivedOnce(kPublish, 1).at(0))), "online");
}

TEST_F(MqttClientTest, StopSendsTheWillItselfAndDisconnects) {
  Connected().Stop();
  EXPECT_EQ(ReceivedOnce(kDisconnect, 1).size(), 1u);
  EXPECT_EQ(Message(ReceivedOnce(kPublish, 1).at(0)), (std::tuple{0x33, "site/status", "offline"}));
}

TEST_F(MqttClientTest, BrokerThatGoesAwayIsToldLostWithTheReason) {
  Connected();
  broker.Drop();
  const auto lost = Awaited(Event::kLost);
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->reason, "The connection was lost");
}

TEST_F(MqttClientTest, WhileAwayOnlyTheNewestLatestIsKeptAndSentOnReconnecting) {
  Connected();
  broker.Drop();
  ASSERT_TRUE(Awaited(Event::kLost));
  for (const char* state : {"1", "2", "3"}) client->PublishLatest({"site/state", state});
  ASSERT_TRUE(Awaited(Event::kConnected)) << "not back";
  EXPECT_EQ(std::get<2>(Message(ReceivedOnce(kPublish, 1).at(0))), "3");
  EXPECT_EQ(broker.Received(kConnect).size(), 2u);
}

TEST_F(MqttClientTest, WhileAwayTheNewestTwentyMessagesAreKeptAndSentInOrder) {
  Connected();
  broker.Drop();
  ASSERT_TRUE(Awaited(Event::kLost));
  for (int i = 1; i <= 22; ++i) client->Publish({"site/messages", std::to_string(i)});
  ASSERT_TRUE(Awaited(Event::kConnected)) << "not back";
  const std::vector<Packet> got = ReceivedOnce(kPublish, 20);
  ASSERT_EQ(got.size(), 20u);
  EXPECT_EQ(std::get<2>(Message(got.front())), "3");
  EXPECT_EQ(std::get<2>(Message(got.back())), "22");
}

// The socket stays open: the client finds out by the missing acknowledgements.
TEST_F(MqttClientTest, MessagesSentIntoAStalledLinkAreToldLostAndSentAgainWhenItIsBack) {
  Connected();
  broker.Stall();
  for (const char* line : {"line 2", "line 3"}) client->Publish({"site/messages", line});
  const auto lost = Awaited(Event::kLost, 40);
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->reason, "no answer from the broker within 30 s");
  broker.Resume();
  ASSERT_TRUE(Awaited(Event::kConnected, 40)) << "not back";
  const std::vector<Packet> got = ReceivedOnce(kPublish, 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(std::get<2>(Message(got[0])), "line 2");
  EXPECT_EQ(std::get<2>(Message(got[1])), "line 3");
}

TEST_F(MqttClientTest, RefusedLoginIsToldWithTheBrokersAnswer) {
  FakeBroker refusing(5);  // not authorised
  Started(SettingsFor(refusing.port));
  const auto refused = Awaited(Event::kRefused);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->reason, "Connection Refused: not authorised");
}

TEST_F(MqttClientTest, NoListenerIsToldUnreachableWithTheSystemsReason) {
  Started(SettingsFor(ClosedPort()));
  const auto unreachable = Awaited(Event::kUnreachable);
  ASSERT_TRUE(unreachable);
  EXPECT_EQ(unreachable->reason, "Connection refused");
}

TEST_F(MqttClientTest, MessageTheLibraryRefusesIsToldOncePerTopic) {
  Connected();
  client->Publish({"site/#", "x"});
  client->Publish({"site/#", "y"});
  const std::vector<MqttClient::Report> reports = client->TakeReports();
  ASSERT_EQ(reports.size(), 1u) << "told twice, or not at all";
  EXPECT_EQ(reports[0].event, Event::kNotSent);
  EXPECT_EQ(reports[0].reason, "'site/#': Invalid function arguments provided");
}

std::string StartError(MqttClient::Settings settings) {
  MqttClient client(std::move(settings));
  std::string error;
  EXPECT_FALSE(client.Start(error));
  return error;
}

TEST(MqttClientStart, WillTopicWithAWildcardIsRefused) {
  MqttClient::Settings settings = SettingsFor(ClosedPort());
  settings.will.topic = "site/#";
  EXPECT_EQ(StartError(settings), "cannot leave a last will on 'site/#'");
}

TEST(MqttClientStart, UnreadableCaFileIsRefused) {
  MqttClient::Settings settings = SettingsFor(ClosedPort());
  settings.target.tls = true;
  settings.caFile = "/nonexistent/ca.pem";
  EXPECT_EQ(StartError(settings), "--mqtt-cafile: cannot use '/nonexistent/ca.pem'");
}

}  // namespace
}  // namespace gelvar::testing
