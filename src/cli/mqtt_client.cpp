#include "cli/mqtt_client.h"

#include <mosquitto.h>
#ifdef _WIN32
#include "os/windows_text.h"
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <utility>

namespace gelvar {
namespace {

// The library refuses a keep-alive below this.
constexpr int kShortestKeepAliveSeconds = 5;
constexpr int kLoopMs = 500;  // how soon the thread notices Stop while waiting for the broker
constexpr int kLongestWaitSeconds = 60;
constexpr std::size_t kMostHeld = 20;
constexpr auto kStopGrace = std::chrono::seconds(2);

bool IsTlsFailure(int result) { return result == MOSQ_ERR_TLS || result == MOSQ_ERR_TLS_HANDSHAKE; }

// The library's texts end with a full stop; ours go on after them.
std::string WithoutFullStop(std::string text) {
  if (text.ends_with('.')) text.pop_back();
  return text;
}

// The library leaves a socket's error in errno; on Windows that is a Winsock code, which only the
// system can name.
std::string ErrnoText(int error) {
#ifdef _WIN32
  return WithoutFullStop(SystemErrorText(static_cast<unsigned long>(error)));
#else
  return std::strerror(error);
#endif
}

// The library's keep-alive, which also bounds the wait for the answer to CONNECT.
int KeepAliveSeconds(std::chrono::seconds answerWithin) {
  return std::max(kShortestKeepAliveSeconds, static_cast<int>(answerWithin.count()));
}

// answered: the broker had accepted the connection; answerWithin: how long an answer is waited for.
std::string Reason(int result, int error, bool answered, std::chrono::seconds answerWithin) {
  if (result == MOSQ_ERR_ERRNO) return ErrnoText(error);
  if (result == MOSQ_ERR_EAI) return "the host name cannot be resolved";
  if (IsTlsFailure(result)) return "the TLS handshake failed (no TLS there, or a certificate that does not verify)";
  if (result == MOSQ_ERR_KEEPALIVE) {
    return answered ? "no answer from the broker within " + std::to_string(answerWithin.count()) + " s"
                    : "no answer to CONNECT within " + std::to_string(KeepAliveSeconds(answerWithin)) + " s";
  }
  return WithoutFullStop(mosquitto_strerror(result));
}

std::string NewClientId() {
  std::random_device random;
  std::string id = "gelvar-";
  for (int i = 0; i < 16; ++i) id += "0123456789abcdef"[random() % 16];
  return id;  // 23 characters, as many as every broker takes
}

// The library is set up once per process and never torn down: a client thread may outlive main().
void InitLibrary() { [[maybe_unused]] static const int once = mosquitto_lib_init(); }

}  // namespace

MqttClient::MqttClient(Settings settings) : settings_(std::move(settings)), clientId_(NewClientId()) {}

MqttClient::~MqttClient() {
  Stop();
  if (client_ != nullptr && !abandoned_) mosquitto_destroy(client_);
}

bool MqttClient::Start(std::string& error) {
  InitLibrary();
  client_ = mosquitto_new(clientId_.c_str(), true, this);
  if (client_ == nullptr) {
    error = "cannot set up the MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  error = SetUp(false);
  if (!error.empty()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

std::string MqttClient::SetUp(bool afresh) {
  if (afresh && mosquitto_reinitialise(client_, clientId_.c_str(), true, this) != MOSQ_ERR_SUCCESS) {
    return "cannot set up the MQTT client again: out of memory";
  }
  mosquitto_threaded_set(client_, true);
  mosquitto_connect_callback_set(client_, &MqttClient::OnConnect);
  mosquitto_publish_callback_set(client_, &MqttClient::OnPublish);
  const MqttMessage& will = settings_.will;
  if (mosquitto_will_set(client_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(), 1,
                         true) != MOSQ_ERR_SUCCESS) {
    return "cannot leave a last will on " + Echoed(will.topic);
  }
  const MqttTarget& target = settings_.target;
  if (!target.user.empty() &&
      mosquitto_username_pw_set(client_, target.user.c_str(),
                                settings_.password.empty() ? nullptr : settings_.password.c_str()) !=
          MOSQ_ERR_SUCCESS) {
    return "cannot log in with this user name and password";
  }
  if (!target.tls) return {};
  const int result = settings_.caFile.empty()
                         ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                         : mosquitto_tls_set(client_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
  if (result == MOSQ_ERR_SUCCESS) return {};
  if (result == MOSQ_ERR_NOT_SUPPORTED) return "mqtts: this gelvar-cli is built without TLS";
  return settings_.caFile.empty() ? "cannot use the system's CA store for TLS"
                                  : "--mqtt-cafile: cannot use " + Echoed(settings_.caFile);
}

void MqttClient::SetGreeting(std::vector<MqttMessage> messages) {
  const std::lock_guard lock(mutex_);
  greeting_ = std::move(messages);
  if (!connected_) return;
  for (const MqttMessage& message : greeting_) SendLocked(message, Kind::kGreeting);
}

void MqttClient::PublishLatest(MqttMessage message) {
  const std::lock_guard lock(mutex_);
  SendLocked(message, Kind::kLatest);
}

void MqttClient::Publish(MqttMessage message) {
  const std::lock_guard lock(mutex_);
  SendLocked(message, Kind::kRecent);
}

std::vector<MqttClient::Report> MqttClient::TakeReports() {
  const std::lock_guard lock(mutex_);
  return std::exchange(reports_, {});
}

void MqttClient::Stop() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable() || stopping_) return;
  stopping_ = true;
  if (connected_) {
    SendLocked(settings_.will, Kind::kGreeting);
    changed_.wait_for(lock, kStopGrace, [this] { return unacknowledged_.empty() || !connected_; });
    mosquitto_disconnect(client_);
  }
  changed_.notify_all();
  // A host name that takes long to resolve may keep the thread; the program ends without it.
  if (changed_.wait_for(lock, kStopGrace, [this] { return finished_; })) {
    lock.unlock();
    thread_.join();
  } else {
    thread_.detach();
    abandoned_ = true;  // the client stays in the thread's hands
  }
}

void MqttClient::Run() {
  int wait = 1;
  bool everConnected = false;
  Event told = Event::kConnected;  // the failure told since the last connection, if any
  for (bool first = true;; first = false) {
    const Ending ending = Connect(first);
    std::unique_lock lock(mutex_);
    if (stopping_) break;
    if (std::exchange(connected_, false)) {
      everConnected = true;
      told = Event::kConnected;
      wait = 1;
    }
    HoldUnacknowledgedLocked();
    const Event event = ending.refused ? Event::kRefused : everConnected ? Event::kLost : Event::kUnreachable;
    if (told != event) reports_.push_back({event, ending.reason});
    told = event;
    // A refusal will not go away soon; asking once a minute is no storm.
    if (ending.refused) wait = kLongestWaitSeconds;
    changed_.wait_for(lock, std::chrono::seconds(wait), [this] { return stopping_; });
    if (stopping_) break;
    wait = std::min(wait * 2, kLongestWaitSeconds);
  }
  const std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

MqttClient::Ending MqttClient::Connect(bool first) {
  if (!first) {
    const std::lock_guard lock(mutex_);
    if (std::string error = SetUp(true); !error.empty()) return {error, true};
  }
  const MqttTarget& target = settings_.target;
  // Blocking, but on this thread only: the library's asynchronous connect spins on a refused TLS
  // connection until the keep-alive runs out. A broker that never answers CONNECT is given up after
  // the keep-alive.
  int result = mosquitto_connect(client_, target.host.c_str(), target.port, KeepAliveSeconds(settings_.answerWithin));
  int error = errno;
  while (result == MOSQ_ERR_SUCCESS) {
    result = mosquitto_loop(client_, kLoopMs, 1);
    error = errno;
    const std::lock_guard lock(mutex_);
    if (!refusal_.empty()) return {std::exchange(refusal_, {}), true};
    if (stopping_ && !connected_) break;
    if (AnswerOverdueLocked()) result = MOSQ_ERR_KEEPALIVE;
  }
  const std::lock_guard lock(mutex_);
  return {Reason(result, error, connected_, settings_.answerWithin), IsTlsFailure(result)};
}

// A link that stopped forwarding leaves the socket open: the library's own keep-alive takes up to
// twice as long to see that, and sends into it meanwhile.
bool MqttClient::AnswerOverdueLocked() const {
  return connected_ && !unacknowledged_.empty() &&
         std::chrono::steady_clock::now() - unacknowledged_.front().sent > settings_.answerWithin;
}

void MqttClient::SendLocked(const MqttMessage& message, Kind kind) {
  if (!connected_) return HoldLocked(message, kind);
  int id = 0;
  const int result = mosquitto_publish(client_, &id, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                       message.payload.data(), 1, kind != Kind::kRecent);
  if (result == MOSQ_ERR_SUCCESS) {
    unacknowledged_.push_back({id, kind, message, std::chrono::steady_clock::now()});
  } else if (result == MOSQ_ERR_NO_CONN) {
    HoldLocked(message, kind);
  } else if (refusedTopics_.insert(message.topic).second) {
    reports_.push_back(
        {Event::kNotSent, Echoed(message.topic) + ": " + Reason(result, errno, true, settings_.answerWithin)});
  }
}

void MqttClient::HoldLocked(MqttMessage message, Kind kind) {
  switch (kind) {
    case Kind::kGreeting: return;
    case Kind::kLatest: latest_ = std::move(message); return;
    case Kind::kRecent:
      if (held_.size() == kMostHeld) held_.pop_front();
      held_.push_back(std::move(message));
      return;
  }
}

// What went out unacknowledged is older than anything held since.
void MqttClient::HoldUnacknowledgedLocked() {
  for (auto sent = unacknowledged_.rbegin(); sent != unacknowledged_.rend(); ++sent) {
    if (sent->kind == Kind::kLatest && !latest_) latest_ = std::move(sent->message);
    if (sent->kind == Kind::kRecent && held_.size() < kMostHeld) held_.push_front(std::move(sent->message));
  }
  unacknowledged_.clear();
}

void MqttClient::OnConnect(mosquitto*, void* self, int result) { static_cast<MqttClient*>(self)->Connected(result); }

void MqttClient::OnPublish(mosquitto*, void* self, int id) { static_cast<MqttClient*>(self)->Acknowledged(id); }

void MqttClient::Connected(int result) {
  const std::lock_guard lock(mutex_);
  if (result != 0) {
    refusal_ = WithoutFullStop(mosquitto_connack_string(result));
    return;
  }
  connected_ = true;
  for (const MqttMessage& message : greeting_) SendLocked(message, Kind::kGreeting);
  for (const MqttMessage& message : std::exchange(held_, {})) SendLocked(message, Kind::kRecent);
  if (std::optional<MqttMessage> latest = std::exchange(latest_, std::nullopt)) SendLocked(*latest, Kind::kLatest);
  reports_.push_back({Event::kConnected, ""});
}

void MqttClient::Acknowledged(int id) {
  const std::lock_guard lock(mutex_);
  std::erase_if(unacknowledged_, [id](const Unacknowledged& sent) { return sent.id == id; });
  changed_.notify_all();
}

}  // namespace gelvar
