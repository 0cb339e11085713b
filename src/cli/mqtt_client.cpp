#include "cli/mqtt_client.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace gelvar {
namespace {

constexpr int kKeepAliveSeconds = 30;
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

std::string Reason(int result, int error) {
  if (result == MOSQ_ERR_ERRNO) return std::strerror(error);
  if (result == MOSQ_ERR_EAI) return "the host name cannot be resolved";
  if (IsTlsFailure(result)) return "the TLS handshake failed (no TLS there, or a certificate that does not verify)";
  return WithoutFullStop(mosquitto_strerror(result));
}

// The library is set up once per process and never torn down: a client thread may outlive main().
void InitLibrary() { [[maybe_unused]] static const int once = mosquitto_lib_init(); }

}  // namespace

MqttClient::~MqttClient() {
  Stop();
  if (client_ != nullptr && !abandoned_) mosquitto_destroy(client_);
}

bool MqttClient::Start(std::string& error) {
  InitLibrary();
  const MqttTarget& target = settings_.target;
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) {
    error = "cannot set up the MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  mosquitto_threaded_set(client_, true);
  mosquitto_connect_callback_set(client_, &MqttClient::OnConnect);
  const MqttMessage& will = settings_.will;
  mosquitto_will_set(client_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(), 1, true);
  if (!target.user.empty()) {
    mosquitto_username_pw_set(client_, target.user.c_str(),
                              settings_.password.empty() ? nullptr : settings_.password.c_str());
  }
  if (target.tls) {
    const int result = settings_.caFile.empty()
                           ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                           : mosquitto_tls_set(client_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (result != MOSQ_ERR_SUCCESS) {
      error = settings_.caFile.empty() ? "cannot use the system's CA store for TLS"
                                       : "--mqtt-cafile: cannot use '" + settings_.caFile + "'";
      return false;
    }
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void MqttClient::SetGreeting(std::vector<MqttMessage> messages) {
  const std::lock_guard lock(mutex_);
  greeting_ = std::move(messages);
  if (!connected_) return;
  for (const MqttMessage& message : greeting_) SendLocked(message, true);
}

void MqttClient::PublishLatest(MqttMessage message) {
  const std::lock_guard lock(mutex_);
  if (connected_ && SendLocked(message, true)) return;
  latest_ = std::move(message);
}

void MqttClient::Publish(MqttMessage message) {
  const std::lock_guard lock(mutex_);
  if (connected_ && SendLocked(message, false)) return;
  if (held_.size() == kMostHeld) held_.pop_front();
  held_.push_back(std::move(message));
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
    SendLocked(settings_.will, true);
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
    int error = 0;
    const int result = Connect(first, error);
    std::unique_lock lock(mutex_);
    if (stopping_) break;
    if (std::exchange(connected_, false)) {
      everConnected = true;
      told = Event::kConnected;
      wait = 1;
    }
    const std::string refusal = std::exchange(refusal_, {});
    const bool refused = !refusal.empty() || IsTlsFailure(result);
    const Event event = refused ? Event::kRefused : everConnected ? Event::kLost : Event::kUnreachable;
    if (told != event) reports_.push_back({event, refusal.empty() ? Reason(result, error) : refusal});
    told = event;
    // A refusal will not go away soon; asking once a minute is no storm.
    if (refused) wait = kLongestWaitSeconds;
    changed_.wait_for(lock, std::chrono::seconds(wait), [this] { return stopping_; });
    if (stopping_) break;
    wait = std::min(wait * 2, kLongestWaitSeconds);
  }
  const std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

int MqttClient::Connect(bool first, int& error) {
  const MqttTarget& target = settings_.target;
  // Blocking, but on this thread only: the library's asynchronous connect spins on a refused TLS
  // connection until the keep-alive runs out.
  int result = first ? mosquitto_connect(client_, target.host.c_str(), target.port, kKeepAliveSeconds)
                     : mosquitto_reconnect(client_);
  error = errno;
  while (result == MOSQ_ERR_SUCCESS) {
    result = mosquitto_loop(client_, kLoopMs, 1);
    error = errno;
    const std::lock_guard lock(mutex_);
    if ((stopping_ && !connected_) || !refusal_.empty()) break;
  }
  return result;
}

bool MqttClient::SendLocked(const MqttMessage& message, bool retain) {
  return mosquitto_publish(client_, nullptr, message.topic.c_str(), static_cast<int>(message.payload.size()),
                           message.payload.data(), 0, retain) == MOSQ_ERR_SUCCESS;
}

void MqttClient::OnConnect(mosquitto*, void* self, int result) { static_cast<MqttClient*>(self)->Connected(result); }

void MqttClient::Connected(int result) {
  const std::lock_guard lock(mutex_);
  if (result != 0) {
    refusal_ = WithoutFullStop(mosquitto_connack_string(result));
    return;
  }
  connected_ = true;
  for (const MqttMessage& message : greeting_) SendLocked(message, true);
  for (const MqttMessage& message : held_) SendLocked(message, false);
  held_.clear();
  if (latest_ && SendLocked(*latest_, true)) latest_.reset();
  reports_.push_back({Event::kConnected, ""});
}

}  // namespace gelvar
