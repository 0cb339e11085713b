// Where gelvar-cli publishes: the broker URL mqtt[s]://[USER@]HOST[:PORT]/PREFIX, and the password,
// which never comes from the command line (other users can read that in the process list).
#pragma once

#include <string>
#include <string_view>

namespace gelvar {

struct MqttTarget {
  bool tls = false;
  std::string user;  // empty: no login
  std::string host;
  int port = 0;
  std::string prefix;  // topic levels the topics state, status and messages go under

  // "HOST:PORT", for messages.
  std::string Broker() const;
};

// MQTT's limit for a topic, a user name and a password.
inline constexpr std::size_t kMqttStringBytes = 65535;
// What the longest topic under a prefix adds to it (the discovery configs').
inline constexpr std::size_t kTopicBytesAfterPrefix = 256;

// False with the reason in error (no option name) for anything but a well-formed URL whose topics
// and user name the broker can take.
bool ParseMqttUrl(const std::string& url, MqttTarget& target, std::string& error);

// The password from passwordFile (its first line, a regular file) if given, else from
// GELVAR_MQTT_PASSWORD; empty when there is none. False with a message when the file cannot be read
// or has no password, a password is too long, or a password has no user.
bool ReadMqttPassword(const MqttTarget& target, const std::string& passwordFile, std::string& password,
                      std::string& error);

// Input quoted back in a message: a short excerpt in quotes, control characters and bytes that are
// not UTF-8 as \xNN, so that nothing typed can flood the journal or steer the terminal.
std::string Echoed(std::string_view text);

}  // namespace gelvar
