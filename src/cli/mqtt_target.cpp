#include "cli/mqtt_target.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace gelvar {
namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr const char* kDefaultPrefix = "gelvar";

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// Topic levels without wildcards, none of them empty.
bool IsTopicPrefix(std::string_view prefix) {
  return prefix.find_first_of("+#") == std::string_view::npos && !prefix.starts_with('/') && !prefix.ends_with('/') &&
         prefix.find("//") == std::string_view::npos;
}

bool ParsePort(std::string_view text, int& port) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

// HOST[:PORT], HOST an IPv6 address in brackets too.
bool ParseHostPort(std::string_view text, MqttTarget& target, std::string& error) {
  std::size_t portColon = text.rfind(':');
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return Fail(error, "'[' without ']' around the host");
    target.host = text.substr(1, close - 1);
    portColon = close + 1 < text.size() && text[close + 1] == ':' ? close + 1 : std::string_view::npos;
    if (portColon == std::string_view::npos && close + 1 != text.size()) return Fail(error, "junk after ']'");
  } else {
    target.host = text.substr(0, portColon);
  }
  if (target.host.empty()) return Fail(error, "no broker host");
  if (portColon == std::string_view::npos) return true;
  const std::string_view port = text.substr(portColon + 1);
  if (!ParsePort(port, target.port)) return Fail(error, "port '" + std::string(port) + "' is not from 1 to 65535");
  return true;
}

}  // namespace

std::string MqttTarget::Broker() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool ParseMqttUrl(const std::string& url, MqttTarget& target, std::string& error) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) {
    return Fail(error, "'" + url + "' is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX");
  }
  const std::string scheme = url.substr(0, schemeEnd);
  if (scheme != "mqtt" && scheme != "mqtts") return Fail(error, "unknown scheme '" + scheme + "' (mqtt or mqtts)");
  MqttTarget parsed;
  parsed.tls = scheme == "mqtts";
  parsed.port = parsed.tls ? kMqttsPort : kMqttPort;
  const std::string_view rest = std::string_view(url).substr(schemeEnd + 3);
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    parsed.user = authority.substr(0, at);
    authority = authority.substr(at + 1);
    if (parsed.user.find(':') != std::string::npos) {
      return Fail(error,
                  "no password in the URL, others can read it there: "
                  "use GELVAR_MQTT_PASSWORD or --mqtt-password-file");
    }
    if (parsed.user.empty()) return Fail(error, "empty user name before '@'");
  }
  if (!ParseHostPort(authority, parsed, error)) return false;
  parsed.prefix = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
  if (parsed.prefix.empty()) parsed.prefix = kDefaultPrefix;
  if (!IsTopicPrefix(parsed.prefix)) {
    return Fail(error, "prefix '" + parsed.prefix + "' is not topic levels without + or #, none empty");
  }
  target = parsed;
  return true;
}

bool ReadMqttPassword(const MqttTarget& target, const std::string& passwordFile, std::string& password,
                      std::string& error) {
  password.clear();
  std::string source = "GELVAR_MQTT_PASSWORD";
  if (!passwordFile.empty()) {
    source = "--mqtt-password-file";
    std::ifstream in(passwordFile, std::ios::binary);
    if (!in || (!std::getline(in, password) && !in.eof())) {
      return Fail(error, "--mqtt-password-file: cannot read '" + passwordFile + "': " + std::strerror(errno));
    }
    if (password.ends_with('\r')) password.pop_back();
  } else if (const char* fromEnvironment = std::getenv("GELVAR_MQTT_PASSWORD")) {
    password = fromEnvironment;
  }
  if (!password.empty() && target.user.empty()) {
    return Fail(error, "a password (" + source + ") needs a user: mqtt://USER@HOST/PREFIX");
  }
  return true;
}

}  // namespace gelvar
