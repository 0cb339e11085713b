// One connection to an MQTT broker (libmosquitto), run on a thread of its own: resolving, connecting,
// a broker that is away and the waits between tries never hold up the caller's thread, which only
// hands messages over and collects reports.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/mqtt_payloads.h"
#include "cli/mqtt_target.h"

struct mosquitto;

namespace gelvar {

class MqttClient {
 public:
  struct Settings {
    MqttTarget target;
    std::string password;  // empty: none
    std::string caFile;    // empty: the system's CA store
    MqttMessage will;      // retained; sent by the broker when the connection breaks, and by Stop
    // The keep-alive, and how long a sent message may wait for the broker's acknowledgement before the
    // link is taken for lost.
    std::chrono::seconds answerWithin{30};
  };
  // Each failure is reported once, until the next connection; trying goes on after every one.
  enum class Event {
    kConnected,
    kUnreachable,  // not connected yet
    kLost,
    kRefused,  // the login, or the TLS handshake: tried again once a minute
    kNotSent,  // the library refused a message; told once per topic
  };
  struct Report {
    Event event;
    std::string reason;
  };

  explicit MqttClient(Settings settings);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Starts connecting; false with a message when the settings cannot be used.
  bool Start(std::string& error);
  // Retained messages sent at every connection, and at once when connected.
  void SetGreeting(std::vector<MqttMessage> messages);
  // Retained. While the broker is away only the newest is kept; it goes out when the broker is back.
  // So is one sent and never acknowledged before the connection ended.
  void PublishLatest(MqttMessage message);
  // Not retained; the newest few are held while the broker is away, those not acknowledged with them.
  void Publish(MqttMessage message);
  std::vector<Report> TakeReports();
  // Sends the will itself, gives the broker up to 2 s to acknowledge it, disconnects and ends the
  // thread.
  void Stop();

 private:
  // What becomes of a message that cannot go out now or went out unacknowledged.
  enum class Kind {
    kGreeting,  // sent again at every connection anyway
    kLatest,
    kRecent,
  };
  struct Unacknowledged {
    int id;
    Kind kind;
    MqttMessage message;
    std::chrono::steady_clock::time_point sent;
  };
  struct Ending {
    std::string reason;
    bool refused;
  };

  // Sets the client up from the settings, afresh after the first time: the library forgets what it
  // held of the last connection, which this class holds instead. Empty, or what cannot be used. Under
  // the lock once the thread runs.
  std::string SetUp(bool afresh);
  void Run();
  // One connection from the try to its end.
  Ending Connect(bool first);
  bool AnswerOverdueLocked() const;
  void SendLocked(const MqttMessage& message, Kind kind);
  void HoldLocked(MqttMessage message, Kind kind);
  void HoldUnacknowledgedLocked();
  static void OnConnect(mosquitto* client, void* self, int result);
  static void OnPublish(mosquitto* client, void* self, int id);
  void Connected(int result);
  void Acknowledged(int id);

  const Settings settings_;
  const std::string clientId_;  // the same at every try, so that the broker drops a half-open predecessor
  mosquitto* client_ = nullptr;
  std::thread thread_;
  bool abandoned_ = false;  // Stop left the thread running

  std::mutex mutex_;  // guards what follows
  std::condition_variable changed_;
  bool connected_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  std::string refusal_;  // the broker's answer to a refused login
  std::vector<MqttMessage> greeting_;
  std::optional<MqttMessage> latest_;
  std::deque<MqttMessage> held_;
  std::deque<Unacknowledged> unacknowledged_;  // oldest first
  std::set<std::string> refusedTopics_;
  std::vector<Report> reports_;
};

}  // namespace gelvar
