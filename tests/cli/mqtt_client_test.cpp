// MqttClient against a broker of the test's own that accepts (or refuses) every login, acknowledges
// what is published at QoS 1, and keeps every packet it received.
#include "cli/mqtt_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Event = MqttClient::Event;
using Payloads = std::vector<std::string>;

constexpr int kConnect = 0x10, kPublish = 0x30, kDisconnect = 0xE0;
constexpr char kHangUp = -1;  // a broker's CONNACK code: it hangs up instead of answering

// Polls every 5 ms, so that no test waits longer than what it waits for.
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

// POLLIN alone: a socket the serving thread polls before listen() has begun reports a hang-up, and an
// accept() on it then would wait for good.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 10) == 1 && (p.revents & POLLIN) != 0;
}

struct Packet {
  int header;
  std::string body;
};

// A PUBLISH as its header byte, its topic and its payload; every topic here is shorter than 256 bytes.
using Message = std::tuple<int, std::string, std::string>;
Message MessageOf(const Packet& publish) {
  const std::size_t topic = static_cast<std::uint8_t>(publish.body[1]), id = (publish.header & 0x06) ? 2 : 0;
  return {publish.header, publish.body.substr(2, topic), publish.body.substr(2 + topic + id)};
}

// This process's end of a connection to the loopback port.
int ConnectedTo(int port) {
  for (int fd = 0; fd < 1024; ++fd) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 && ntohs(peer.sin_port) == port) return fd;
  }
  return -1;
}

// One connection at a time; Drop() closes it as a broker that goes away. Stalled, it reads nothing,
// as a network that stops forwarding; Resume() drops the stalled connection with what it held.
// Every packet of these tests is shorter than 128 bytes: its length is one byte.
class FakeBroker {
  const int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);

 public:
  const int port = BoundToLoopback(listener_);

  explicit FakeBroker(char connackCode = 0) : code_(connackCode) { ::listen(listener_, 4); }
  ~FakeBroker() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  void Drop() { drop_ = true; }
  void Stall() { stalled_ = true; }
  void Resume() { drop_ = true, stalled_ = false; }
  std::vector<Packet> Received(int type) {
    const std::lock_guard lock(mutex_);
    std::vector<Packet> found = received_;
    std::erase_if(found, [&](const Packet& p) { return (p.header & 0xF0) != type; });
    return found;
  }

 private:
  void Serve() {
    while (!stop_) {
      std::string head, body;
      if (client_ < 0) {
        if (Readable(listener_)) client_ = ::accept(listener_, nullptr, nullptr);
      } else if (stalled_) {
        std::this_thread::sleep_for(10ms);
      } else if (Read(head, 2) && Read(body, static_cast<std::uint8_t>(head[1]))) {
        Answer({static_cast<std::uint8_t>(head[0]), body});
      } else {
        ::close(std::exchange(client_, -1));
        drop_ = false;
      }
    }
    if (client_ >= 0) ::close(client_);
  }
  bool Read(std::string& into, std::size_t count) {
    for (char byte; into.size() < count; into += byte) {
      while (!drop_ && !stop_ && !Readable(client_)) continue;
      if (drop_ || stop_ || ::read(client_, &byte, 1) != 1) return false;
    }
    return true;
  }
  void Answer(const Packet& packet) {
    if ((packet.header & 0xF0) == kConnect) {
      if (code_ == kHangUp) drop_ = true;
      if (code_ != kHangUp) Send({0x20, 2, 0, code_});
    }
    if ((packet.header & 0xF0) == kPublish && (packet.header & 0x06)) {
      Send("\x40\x02"s + packet.body.substr(2 + static_cast<std::uint8_t>(packet.body[1]), 2));
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
  std::thread thread_{[this] { Serve(); }};
};

class MqttClientTest : public ::testing::Test {
 protected:
  MqttClientTest() { settings.will = {"site/status", "offline"}, settings.target.host = "127.0.0.1"; }
  MqttClient& Started(int port) {
    settings.target.port = port;
    client.emplace(settings);
    std::string error;
    EXPECT_TRUE(client->Start(error)) << error;
    return *client;
  }
  MqttClient& Connected() {
    Started(broker.port);
    EXPECT_EQ(Reason(Event::kConnected), "");
    return *client;
  }
  // The reason of the first report of this kind the client gives within seconds; "(none)" if none.
  std::string Reason(Event event, int seconds = 5) {
    std::string found = "(none)";
    const auto take = [&] {
      for (const MqttClient::Report& report : client->TakeReports()) {
        if (report.event == event && found == "(none)") found = report.reason;
      }
      return found != "(none)";
    };
    Eventually(take, seconds);
    return found;
  }
  // Once count packets of this type have come, what came.
  std::vector<Packet> Awaited(int type, std::size_t count) {
    EXPECT_TRUE(Eventually([&] { return broker.Received(type).size() >= count; })) << "fewer than " << count;
    return broker.Received(type);
  }
  Payloads PublishedPayloads(std::size_t count) {
    Payloads payloads;
    for (const Packet& p : Awaited(kPublish, count)) payloads.push_back(std::get<2>(MessageOf(p)));
    return payloads;
  }
  FakeBroker broker;
  MqttClient::Settings settings;
  std::optional<MqttClient> client;
};

// The CONNECT's body: protocol name and level, flags, keep-alive, client id, will, user, password.
TEST_F(MqttClientTest, LoginLeavesARetainedWillAtQosOneUnderAStableClientIdWithUserAndPassword) {
  settings.target.user = "ops", settings.password = "secret";
  Connected();
  const std::string login = Awaited(kConnect, 1).at(0).body;
  EXPECT_EQ(login.substr(0, 19), "\0\4MQTT\4\xEE\0\x1E\0\x17gelvar-"s);
  EXPECT_EQ(login.substr(35), "\0\x0Bsite/status\0\x07offline\0\3ops\0\6secret"s);
}

TEST_F(MqttClientTest, GreetingAndLatestAreRetainedOthersAreNotAllAtQosOne) {
  Connected().SetGreeting({{"site/status", "online"}});
  client->PublishLatest({"site/state", "{}"});
  client->Publish({"site/messages", "I> started"});
  std::vector<Message> got;
  for (const Packet& p : Awaited(kPublish, 3)) got.push_back(MessageOf(p));
  EXPECT_EQ(got,
            (std::vector<Message>{
                {0x33, "site/status", "online"}, {0x33, "site/state", "{}"}, {0x32, "site/messages", "I> started"}}));
}

TEST_F(MqttClientTest, StopSendsTheWillItselfAndDisconnects) {
  Connected().Stop();
  EXPECT_EQ(Awaited(kDisconnect, 1).size(), 1u);
  EXPECT_EQ(MessageOf(Awaited(kPublish, 1).at(0)), (Message{0x33, "site/status", "offline"}));
}

// The greeting was set before there was a connection.
TEST_F(MqttClientTest, OnReconnectingTheGreetingAndTheNewestLatestGoOut) {
  Started(broker.port).SetGreeting({{"site/status", "online"}});
  EXPECT_EQ(PublishedPayloads(1), Payloads{"online"});
  broker.Drop();
  EXPECT_EQ(Reason(Event::kLost), "The connection was lost");
  for (const char* state : {"1", "2", "3"}) client->PublishLatest({"site/state", state});
  EXPECT_EQ(Reason(Event::kConnected), "");
  EXPECT_EQ(PublishedPayloads(3), (Payloads{"online", "online", "3"}));
}

TEST_F(MqttClientTest, WhileAwayTheNewestTwentyMessagesAreKeptAndSentInOrder) {
  Connected();
  broker.Drop();
  EXPECT_EQ(Reason(Event::kLost), "The connection was lost");
  for (int i = 1; i <= 22; ++i) client->Publish({"site/messages", std::to_string(i)});
  EXPECT_EQ(PublishedPayloads(20), (Payloads{"3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12",
                                             "13", "14", "15", "16", "17", "18", "19", "20", "21", "22"}));
}

// The socket stays open: the client finds out by the missing acknowledgements, a second on here.
TEST_F(MqttClientTest, MessagesSentIntoAStalledLinkAreToldLostAndSentAgainWhenItIsBack) {
  settings.answerWithin = std::chrono::seconds(1);
  Connected();
  broker.Stall();
  for (const char* line : {"line 2", "line 3"}) client->Publish({"site/messages", line});
  EXPECT_EQ(Reason(Event::kLost, 5), "no answer from the broker within 1 s");
  broker.Resume();
  EXPECT_EQ(PublishedPayloads(2), (Payloads{"line 2", "line 3"}));
}

TEST_F(MqttClientTest, RefusedLoginIsToldWithTheBrokersAnswer) {
  FakeBroker refusing(5);  // not authorised
  Started(refusing.port);
  EXPECT_EQ(Reason(Event::kRefused), "Connection Refused: not authorised");
}

// A directory in the socket's place: every read fails with an error of the system's, as a network
// that gives up (ETIMEDOUT, EHOSTUNREACH) makes it fail.
TEST_F(MqttClientTest, ConnectionThatFailsWithASystemErrorIsToldLostWithItsText) {
  Connected();
  const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(::dup2(directory, ConnectedTo(broker.port)), 0);
  ::close(directory);
  EXPECT_EQ(Reason(Event::kLost), "Is a directory");
}

// Logins at 0, 1 and 3 s: the waits between them double.
TEST_F(MqttClientTest, UnansweredLoginIsTriedAgainAfterOneSecondThenTwo) {
  FakeBroker hangingUp(kHangUp);
  Started(hangingUp.port);
  std::this_thread::sleep_for(3500ms);
  EXPECT_EQ(hangingUp.Received(kConnect).size(), 3u);
}

TEST_F(MqttClientTest, NoListenerIsToldUnreachableWithTheSystemsReason) {
  Started(1);  // tcpmux: nothing listens there
  EXPECT_EQ(Reason(Event::kUnreachable), "Connection refused");
}

TEST_F(MqttClientTest, UnreadableCaFileIsRefused) {
  settings.target.tls = true, settings.caFile = "/nonexistent/ca.pem";
  std::string error;
  EXPECT_FALSE(MqttClient(settings).Start(error));
  EXPECT_EQ(error, "--mqtt-cafile: cannot use '/nonexistent/ca.pem'");
}

}  // namespace
}  // namespace gelvar::testing
