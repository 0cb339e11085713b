// MqttClient against a broker of the test's own: a loopback listener that speaks just enough MQTT
// 3.1.1 to accept (or refuse) a login and acknowledge what is published, and keeps what it received.
#include "cli/mqtt_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
using Event = MqttClient::Event;

constexpr std::uint8_t kConnect = 0x10, kConnack = 0x20, kPublish = 0x30, kPuback = 0x40, kPingreq = 0xC0,
                       kDisconnect = 0xE0;
constexpr std::uint8_t kNotAuthorised = 5;

// Polls until condition holds, for up to five seconds.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// A loopback port nobody listens on.
int ClosedPort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t size = sizeof address;
  ::bind(socket, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(socket);
  return ntohs(address.sin_port);
}

struct Published {
  std::string topic, payload;
  int qos;
  bool retain;
};

// What a CONNECT carried.
struct Login {
  std::string clientId, willTopic, willPayload, user, password;
  int keepAlive = 0;
  int willQos = 0;
  bool willRetain = false, cleanSession = false;
};

// One connection at a time; Drop() closes it as a broker that goes away.
class FakeBroker {
 public:
  explicit FakeBroker(std::uint8_t connackCode = 0) : code_(connackCode) {
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeBroker() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  void Drop() { drop_ = true; }

  int port = 0;
  std::atomic<int> logins = 0, disconnects = 0;
  Login login;  // the last; read once logins has grown
  std::vector<Published> published;
  std::mutex mutex;  // guards published and login

 private:
  void Serve() {
    while (!stop_) {
      pollfd listening{listener_, POLLIN, 0};
      if (::poll(&listening, 1, 10) != 1) continue;
      client_ = ::accept(listener_, nullptr, nullptr);
      std::string packet;
      while (!stop_ && !drop_ && Receive(packet)) Answer(packet);
      ::close(client_);
      drop_ = false;
    }
  }
  // One whole packet, or false once the client left or the test ends.
  bool Receive(std::string& packet) {
    packet.clear();
    if (!ReadBytes(packet, 1)) return false;
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
      std::string digit;
      if (!ReadBytes(digit, 1)) return false;
      length |= static_cast<std::size_t>(digit[0] & 0x7F) << shift;
      if ((digit[0] & 0x80) == 0) return ReadBytes(packet, length);
    }
  }
  bool ReadBytes(std::string& into, std::size_t count) {
    for (const std::size_t end = into.size() + count; into.size() < end;) {
      pollfd readable{client_, POLLIN, 0};
      if (stop_ || drop_) return false;
      if (::poll(&readable, 1, 10) != 1) continue;
      char byte;
      if (::read(client_, &byte, 1) != 1) return false;
      into += byte;
    }
    return true;
  }
  void Answer(const std::string& packet) {
    const auto type = static_cast<std::uint8_t>(packet[0] & 0xF0);
    std::size_t at = 1;
    if (type == kConnect) {
      TakeLogin(packet, at);
      Send({static_cast<char>(kConnack), 2, 0, static_cast<char>(code_)});
    } else if (type == kPublish) {
      const int qos = (packet[0] >> 1) & 3;
      const std::lock_guard lock(mutex);
      Published message{Text(packet, at), "", qos, (packet[0] & 1) != 0};
      const std::string id = packet.substr(at, qos > 0 ? 2 : 0);
      message.payload = packet.substr(at + id.size());
      published.push_back(message);
      if (qos > 0) Send(std::string{static_cast<char>(kPuback), 2} + id);
    } else if (type == kPingreq) {
      Send({static_cast<char>(0xD0), 0});
    } else if (type == kDisconnect) {
      ++disconnects;
    }
  }
  void TakeLogin(const std::string& packet, std::size_t& at) {
    Text(packet, at);  // the protocol's name
    const int flags = static_cast<std::uint8_t>(packet[at + 1]);
    Login taken;
    taken.keepAlive = static_cast<std::uint8_t>(packet[at + 2]) * 256 + static_cast<std::uint8_t>(packet[at + 3]);
    at += 4;
    taken.cleanSession = flags & 0x02;
    taken.clientId = Text(packet, at);
    if (flags & 0x04) {
      taken.willTopic = Text(packet, at);
      taken.willPayload = Text(packet, at);
      taken.willQos = (flags >> 3) & 3;
      taken.willRetain = flags & 0x20;
    }
    if (flags & 0x80) taken.user = Text(packet, at);
    if (flags & 0x40) taken.password = Text(packet, at);
    const std::lock_guard lock(mutex);
    login = taken;
    ++logins;
  }
  // A length-prefixed string at `at`, which moves past it.
  static std::string Text(const std::string& packet, std::size_t& at) {
    const std::size_t length = static_cast<std::uint8_t>(packet[at]) * 256u + static_cast<std::uint8_t>(packet[at + 1]);
    at += 2 + length;
    return packet.substr(at - length, length);
  }
  void Send(const std::string& bytes) { EXPECT_EQ(::write(client_, bytes.data(), bytes.size()), std::ssize(bytes)); }

  const std::uint8_t code_;
  const int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int client_ = -1;
  std::atomic<bool> stop_ = false, drop_ = false;
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
  // A client of the broker, started; settings as given.
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
  // The first report of this kind the client gives within five seconds.
  std::optional<MqttClient::Report> Awaited(Event event) {
    std::optional<MqttClient::Report> found;
    Eventually([&] {
      for (const MqttClient::Report& report : client->TakeReports()) {
        if (report.event == event && !found) found = report;
      }
      return found.has_value();
    });
    return found;
  }
  std::vector<Published> PublishedOnce(std::size_t count) {
    EXPECT_TRUE(Eventually([&] {
      const std::lock_guard lock(broker.mutex);
      return broker.published.size() >= count;
    })) << "fewer than " << count << " messages";
    const std::lock_guard lock(broker.mutex);
    return broker.published;
  }

  FakeBroker broker;
  std::optional<MqttClient> client;
};

TEST_F(MqttClientTest, LoginLeavesARetainedWillAtQosOneUnderAStableClientId) {
  Connected();
  const std::lock_guard lock(broker.mutex);
  EXPECT_EQ(broker.login.willTopic, "site/status");
  EXPECT_EQ(broker.login.willPayload, "offline");
  EXPECT_EQ(broker.login.willQos, 1);
  EXPECT_TRUE(broker.login.willRetain);
  EXPECT_TRUE(broker.login.cleanSession);
  EXPECT_EQ(broker.login.keepAlive, 30);
  EXPECT_EQ(broker.login.clientId.size(), 23u) << broker.login.clientId;
  EXPECT_TRUE(broker.login.clientId.starts_with("gelvar-")) << broker.login.clientId;
}

TEST_F(MqttClientTest, LoginCarriesTheUserAndThePassword) {
  MqttClient::Settings settings = SettingsFor(broker.port);
  settings.target.user = "ops";
  settings.password = "secret";
  Started(settings);
  ASSERT_TRUE(Eventually([&] { return broker.logins == 1; }));
  const std::lock_guard lock(broker.mutex);
  EXPECT_EQ(broker.login.user, "ops");
  EXPECT_EQ(broker.login.password, "secret");
}

TEST_F(MqttClientTest, GreetingAndLatestAreRetainedOthersAreNotAllAtQosOne) {
  Connected().SetGreeting({{"site/status", "online"}});
  client->PublishLatest({"site/state", "{}"});
  client->Publish({"site/messages", "I> started"});
  const std::vector<Published> got = PublishedOnce(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ((std::tuple{got[0].topic, got[0].payload, got[0].qos, got[0].retain}),
            (std::tuple{"site/status", "online", 1, true}));
  EXPECT_EQ((std::tuple{got[1].topic, got[1].payload, got[1].qos, got[1].retain}),
            (std::tuple{"site/state", "{}", 1, true}));
  EXPECT_EQ((std::tuple{got[2].topic, got[2].payload, got[2].qos, got[2].retain}),
            (std::tuple{"site/messages", "I> started", 1, false}));
}

TEST_F(MqttClientTest, GreetingSetBeforeTheConnectionGoesOutOnConnecting) {
  Started(SettingsFor(broker.port)).SetGreeting({{"site/status", "online"}});
  EXPECT_EQ(PublishedOnce(1).at(0).payload, "online");
}

TEST_F(MqttClientTest, StopSendsTheWillItselfAndDisconnects) {
  Connected().Stop();
  EXPECT_TRUE(Eventually([&] { return broker.disconnects == 1; })) << "no DISCONNECT";
  const std::vector<Published> got = PublishedOnce(1);
  EXPECT_EQ((std::tuple{got.at(0).topic, got.at(0).payload, got.at(0).retain}), (std::tuple{"site/status", "offline", true}));
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
  EXPECT_EQ(PublishedOnce(1).at(0).payload, "3");
  EXPECT_EQ(broker.logins, 2);
}

TEST_F(MqttClientTest, WhileAwayTheNewestTwentyMessagesAreKeptAndSentInOrder) {
  Connected();
  broker.Drop();
  ASSERT_TRUE(Awaited(Event::kLost));
  for (int i = 1; i <= 22; ++i) client->Publish({"site/messages", std::to_string(i)});
  ASSERT_TRUE(Awaited(Event::kConnected)) << "not back";
  const std::vector<Published> got = PublishedOnce(20);
  ASSERT_EQ(got.size(), 20u);
  EXPECT_EQ(got.front().payload, "3");
  EXPECT_EQ(got.back().payload, "22");
}

TEST_F(MqttClientTest, RefusedLoginIsToldWithTheBrokersAnswer) {
  FakeBroker refusing(kNotAuthorised);
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
