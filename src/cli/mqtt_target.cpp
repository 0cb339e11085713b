#include "cli/mqtt_target.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "cli/console_text.h"

namespace gelvar {
namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr const char* kDefaultPrefix = "gelvar";
constexpr std::size_t kMostHostBytes = 253;  // the longest DNS name
constexpr std::size_t kMostEchoedBytes = 60;

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// The code point starting at text[at] of valid UTF-8; at moves past it.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  const int more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
  char32_t point = more == 0 ? lead : lead & (0x3F >> more);
  for (int i = 0; i < more; ++i) point = point << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  return point;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The broker and libmosquitto refuse these in topics and user names.
bool IsNoncharacter(char32_t c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

bool IsPrintableAscii(char c) { return c >= 0x20 && c < 0x7F; }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string CodePointName(char32_t c) {
  std::string name = "U+";
  for (int shift = c > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4) name += kHexDigits[(c >> shift) & 0xF];
  return name;
}

std::string EscapedBytes(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
  }
  return out;
}

// UTF-8 without control characters or noncharacters, at most most bytes; named says what it is in
// the message.
bool CheckText(std::string_view text, std::size_t most, const std::string& named, std::string& error) {
  if (text.size() > most) {
    return Fail(error, named + " has " + std::to_string(text.size()) + " bytes, more than " + std::to_string(most));
  }
  if (!IsValidUtf8(std::string(text))) return Fail(error, named + " is not UTF-8");
  for (std::size_t at = 0; at < text.size();) {
    const char32_t c = NextCodePoint(text, at);
    if (IsControl(c)) return Fail(error, named + " has " + CodePointName(c) + ", a control character");
    if (IsNoncharacter(c)) return Fail(error, named + " has " + CodePointName(c) + ", a noncharacter");
  }
  return true;
}

// Topic levels without wildcards, none of them empty, outside the broker's own $ topics, leaving
// room for the longest topic under them.
bool CheckPrefix(std::string_view prefix, std::string& error) {
  const std::string named = "prefix " + Echoed(prefix);
  if (constexpr std::size_t most = kMqttStringBytes - kTopicBytesAfterPrefix; prefix.size() > most) {
    return Fail(error, named + " has " + std::to_string(prefix.size()) + " bytes: topics under it would pass MQTT's " +
                           "limit of " + std::to_string(kMqttStringBytes) + " (" + std::to_string(most) +
                           " at most for the prefix)");
  }
  if (!CheckText(prefix, kMqttStringBytes, named, error)) return false;
  if (prefix.starts_with('$')) return Fail(error, named + " starts with '$', which the broker keeps for itself");
  if (prefix.find_first_of("+#") != std::string_view::npos || prefix.starts_with('/') || prefix.ends_with('/') ||
      prefix.find("//") != std::string_view::npos) {
    return Fail(error, named + " is not topic levels without + or #, none empty");
  }
  return true;
}

// A URL as it may be quoted back: whatever comes before an '@' may hold a password.
std::string EchoedUrl(std::string_view url) {
  const std::size_t at = url.rfind('@');
  return Echoed(at == std::string_view::npos ? url : "***" + std::string(url.substr(at)));
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
  } else if (portColon != text.find(':')) {
    // Which colon would start the port is anyone's guess.
    return Fail(error, Echoed(text) + " is an IPv6 address without brackets: write " +
                           Echoed(std::string("[").append(text).append("]")) + ", or [ADDRESS]:PORT with a port");
  } else {
    target.host = text.substr(0, portColon);
  }
  if (target.host.empty()) return Fail(error, "no broker host");
  if (!CheckText(target.host, kMostHostBytes, "host " + Echoed(target.host), error)) return false;
  if (portColon == std::string_view::npos) return true;
  const std::string_view port = text.substr(portColon + 1);
  if (!ParsePort(port, target.port)) return Fail(error, "port " + Echoed(port) + " is not from 1 to 65535");
  return true;
}

// The first line of a regular file, read no further than a password can be long.
bool ReadFirstLine(const std::string& path, std::string& line, std::string& error) {
  const std::string named = "--mqtt-password-file: " + Echoed(path);
  std::error_code failure;
  const std::filesystem::file_status status = std::filesystem::status(path, failure);
  if (failure) return Fail(error, "--mqtt-password-file: cannot read " + Echoed(path) + ": " + failure.message());
  // A device or a FIFO may never end, or never answer.
  if (!std::filesystem::is_regular_file(status)) return Fail(error, named + " is not a regular file");
  std::ifstream in(path, std::ios::binary);
  line.assign(kMqttStringBytes + 2, '\0');  // room for CR LF after the longest password
  in.read(line.data(), static_cast<std::streamsize>(line.size()));
  if (!in.is_open() || in.bad()) return Fail(error, "--mqtt-password-file: cannot read " + Echoed(path));
  line.resize(static_cast<std::size_t>(in.gcount()));
  line.resize(std::min(line.find('\n'), line.size()));
  if (line.ends_with('\r')) line.pop_back();
  if (line.empty()) return Fail(error, named + " has no password on its first line");
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
    return Fail(error, EchoedUrl(url) + " is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX");
  }
  const std::string scheme = url.substr(0, schemeEnd);
  if (scheme != "mqtt" && scheme != "mqtts")
    return Fail(error, "unknown scheme " + EchoedUrl(scheme) + " (mqtt or mqtts)");
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
    if (!CheckText(parsed.user, kMqttStringBytes, "the user name", error)) return false;
  }
  if (!ParseHostPort(authority, parsed, error)) return false;
  parsed.prefix = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
  if (parsed.prefix.empty()) parsed.prefix = kDefaultPrefix;
  if (!CheckPrefix(parsed.prefix, error)) return false;
  target = parsed;
  return true;
}

bool ReadMqttPassword(const MqttTarget& target, const std::string& passwordFile, std::string& password,
                      std::string& error) {
  password.clear();
  std::string source = "GELVAR_MQTT_PASSWORD";
  std::string read;
  if (!passwordFile.empty()) {
    source = "--mqtt-password-file";
    if (!ReadFirstLine(passwordFile, read, error)) return false;
  } else if (const char* fromEnvironment = std::getenv("GELVAR_MQTT_PASSWORD")) {
    read = fromEnvironment;
  }
  if (read.size() > kMqttStringBytes) {
    return Fail(error, "the password (" + source + ") is longer than " + std::to_string(kMqttStringBytes) + " bytes");
  }
  if (!read.empty() && target.user.empty()) {
    return Fail(error, "a password (" + source + ") needs a user: mqtt://USER@HOST/PREFIX");
  }
  password = std::move(read);
  return true;
}

std::string Echoed(std::string_view text) {
  std::string_view shown = text.substr(0, kMostEchoedBytes);
  // Cut before a character, not inside one.
  for (int i = 0; i < 3 && shown.size() < text.size() && IsContinuationByte(text[shown.size()]); ++i) {
    shown.remove_suffix(1);
  }
  const bool utf8 = IsValidUtf8(std::string(shown));
  std::string out = "'";
  for (std::size_t at = 0; at < shown.size();) {
    const std::size_t start = at;
    const bool plain = utf8 ? !IsControl(NextCodePoint(shown, at)) : IsPrintableAscii(shown[at++]);
    const std::string_view character = shown.substr(start, at - start);
    out += plain ? std::string(character) : EscapedBytes(character);
  }
  return out + (shown.size() < text.size() ? "...'" : "'");
}

}  // namespace gelvar
