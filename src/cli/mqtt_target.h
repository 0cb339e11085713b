// Where gelvar-cli publishes: the broker URL mqtt[s]://[USER@]HOST[:PORT]/PREFIX, and the password,
// which never comes from the command line (other users can read that in the process list).
#pragma once

#include <string>

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

// False with the reason in error (no option name) for anything but a well-formed URL.
bool ParseMqttUrl(const std::string& url, MqttTarget& target, std::string& error);

// The password from passwordFile (its first line) if given, else from GELVAR_MQTT_PASSWORD; empty
// when there is none. False with a message when the file cannot be read, or a password has no user.
bool ReadMqttPassword(const MqttTarget& target, const std::string& passwordFile, std::string& password,
                      std::string& error);

}  // namespace gelvar
