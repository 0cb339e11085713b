#include "core/serial/com_devices.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/serial/serial_device.h"

namespace gelvar {
namespace {

namespace fs = std::filesystem;

constexpr int kMinComPort = 1;
constexpr int kMaxComPort = 255;
constexpr std::string_view kEntryPrefix = "COM";

std::string EntryName(int portNumber) { return std::string(kEntryPrefix) + std::to_string(portNumber); }

// The COM number of an entry name "COM<n>", written as the program writes it; 0 for anything else.
int EntryPortNumber(std::string_view name) {
  if (!name.starts_with(kEntryPrefix)) return 0;
  const std::string_view digits = name.substr(kEntryPrefix.size());
  int number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || digits.front() == '0' || ec != std::errc{} || end != digits.data() + digits.size()) return 0;
  return number >= kMinComPort && number <= kMaxComPort ? number : 0;
}

constexpr std::string_view kSection = "[SerialDevices]";
constexpr std::size_t kExcerptBytes = 120;
constexpr std::size_t kNamedAtMost = 5;  // in the "E> " line; the rest are counted

// Text of the file as it may be shown in one message line: short, control bytes and bytes outside
// ASCII written as \xNN.
std::string Excerpt(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, kExcerptBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      constexpr std::string_view kHex = "0123456789abcdef";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return text.size() > kExcerptBytes ? shown + "..." : shown;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// A value as WriteValue writes it; empty, or why it is not one. Anything else is refused rather than
// read in part: an unclosed quote would otherwise run on to the end of the file.
std::string ReadValue(std::string_view raw, std::string& value) {
  const bool quoted = raw.starts_with('"');
  std::size_t at = quoted ? 1 : 0;
  for (; at < raw.size(); ++at) {
    const char c = raw[at];
    if (c == '\\') {
      if (at + 1 == raw.size() || (raw[at + 1] != '\\' && raw[at + 1] != '"')) return "an unknown escape";
      value += raw[++at];
    } else if (quoted && c == '"') {
      break;
    } else if (IsControl(c)) {
      return "a control character";
    } else if (!quoted && (c == '"' || c == ';' || c == ',')) {
      return std::string("a ") + c + " outside quotes";
    } else {
      value += c;
    }
  }
  if (quoted && at == raw.size()) return "the quote is not closed";
  if (quoted && at + 1 != raw.size()) return "text after the closing quote";
  return {};
}

// Quoted when the value holds , ; or = or starts or ends with a space; \ and " escaped.
std::string WriteValue(const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  const bool quote = value.find_first_of(",;=") != std::string::npos || value.starts_with(' ') || value.ends_with(' ');
  return quote ? '"' + escaped + '"' : escaped;
}

// One line of the settings file that is not blank and not the section's header.
struct SettingsLine {
  enum class Kind { kEntry, kComment, kUnread };
  Kind kind = Kind::kUnread;
  std::size_t number = 0;
  std::string_view text;
  std::string name;
  std::string path;
  std::string why;  // of a line that is not an entry

  // "line 4 (the quote is not closed: COM3="/dev/ttyUSB2)"
  std::string Named() const { return "line " + std::to_string(number) + " (" + why + ": " + Excerpt(text) + ")"; }
};

// Reads what the program writes (and what an editor's hand may add: blank lines, spaces around the
// "=", CR LF line ends, comments); everything else is a line it does not read.
std::vector<SettingsLine> ReadSettings(std::string_view text) {
  std::vector<SettingsLine> lines;
  bool inSection = false;
  std::map<std::string, std::size_t, std::less<>> seen;
  for (std::size_t number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    const std::string_view line = Trimmed(raw);
    if (line.empty()) continue;
    if (line == kSection) {
      inSection = true;
      continue;
    }
    SettingsLine read;
    read.number = number;
    read.text = raw;
    const std::size_t equals = line.find('=');
    const std::string_view name = Trimmed(line.substr(0, equals));
    if (line.starts_with(';') || line.starts_with('#')) {
      read.kind = SettingsLine::Kind::kComment;
      read.why = "a comment";
    } else if (line.starts_with('[')) {
      inSection = false;
      read.why = "a section other than " + std::string(kSection);
    } else if (equals == std::string_view::npos || name.empty()) {
      read.why = "not a setting";
    } else if (!inSection) {
      read.why = "not under " + std::string(kSection);
    } else if (std::ranges::any_of(name, IsControl)) {
      read.why = "a control character";
    } else if (read.why = ReadValue(Trimmed(line.substr(equals + 1)), read.path); read.why.empty()) {
      const auto [first, added] = seen.emplace(name, number);
      read.kind = added ? SettingsLine::Kind::kEntry : SettingsLine::Kind::kUnread;
      read.name = name;
      if (!added) read.why = read.name + " again after line " + std::to_string(first->second);
    }
    lines.push_back(std::move(read));
  }
  return lines;
}

using KeptEntries = std::map<std::string, std::string>;

// The file as the program writes it: the entries in the order of their names, none without a file.
std::string WriteSettings(const KeptEntries& entries) {
  if (entries.empty()) return {};
  std::string text = std::string(kSection) + "\n";
  for (const auto& [name, path] : entries) text += name + "=" + WriteValue(path) + "\n";
  return text;
}

// The entries of a file that a rewrite keeps whole; the first line it would lose, when there is one.
std::optional<SettingsLine> ReadAllEntries(std::string_view text, KeptEntries& entries) {
  for (SettingsLine& line : ReadSettings(text)) {
    if (line.kind != SettingsLine::Kind::kEntry) return std::move(line);
    entries[line.name] = line.path;
  }
  return std::nullopt;
}

// One "E> " line however much the file holds.
class IgnoredList {
 public:
  void Add(const std::string& item) {
    if (++count_ <= kNamedAtMost) named_ += (count_ == 1 ? "" : ", ") + item;
  }
  bool Empty() const { return count_ == 0; }
  std::string Text() const {
    return count_ <= kNamedAtMost ? named_ : named_ + " and " + std::to_string(count_ - kNamedAtMost) + " more";
  }

 private:
  std::string named_;
  std::size_t count_ = 0;
};

}  // namespace

std::string ComVariableName(int portNumber) { return "GELVAR_COM" + std::to_string(portNumber); }

std::string StableDevicePath(const std::string& path, const std::string& byIdFolder) {
  std::error_code error;
  const fs::path device = fs::canonical(path, error);
  if (error) return path;
  for (fs::directory_iterator it(byIdFolder, error), end; !error && it != end; it.increment(error)) {
    std::error_code linkError;
    if (fs::canonical(it->path(), linkError) == device && !linkError) return it->path().string();
  }
  return path;
}

std::string DescribeComDevice(int portNumber, const ComDevice& device) {
  const std::string com = "COM " + std::to_string(portNumber);
  std::string why;
  switch (device.source) {
    case ComSource::kDeviceOption: why = "given with --device"; break;
    case ComSource::kVariable:
      why = "set by " + ComVariableName(portNumber) + ", which wins over the device list";
      break;
    case ComSource::kChosen: why = "chosen in the device list"; break;
    case ComSource::kDefault:
      why = device.chosenButMissing.empty()
                ? "no device chosen for " + com
                : "the device chosen for " + com + ", " + device.chosenButMissing + ", is not there";
      why += "; Communication > Choose Serial Device... or " + ComVariableName(portNumber) + " names another";
      break;
  }
  return com + " is " + device.path + " (" + why + ")";
}

ComDeviceMap::ComDeviceMap(ComMappingStore* store, Environment environment)
    : store_(store),
      environment_(environment ? std::move(environment) : [](const char* name) { return std::getenv(name); }) {}

std::string ComDeviceMap::Load() {
  chosen_.clear();
  if (store_ == nullptr) return {};
  const std::string prefix = "E> Serial device settings " + store_->Location() + ": ";
  std::string text;
  std::string reason;
  if (!store_->Read(text, reason)) return prefix + reason;
  IgnoredList ignored;
  for (const SettingsLine& line : ReadSettings(text)) {
    if (line.kind == SettingsLine::Kind::kComment) continue;
    if (line.kind == SettingsLine::Kind::kUnread) {
      ignored.Add(line.Named());
      continue;
    }
    const int portNumber = EntryPortNumber(line.name);
    std::string why;
    if (portNumber == 0) {
      why = "not a COM number 1..255";
    } else if (!IsDeviceName(line.path)) {
      why = "not a device path";
    } else {
      chosen_[portNumber] = line.path;  // kept while missing: the adapter may be plugged in later
      if (!DevicePresent(line.path)) why = Excerpt(line.path) + " is not there";
    }
    if (!why.empty()) ignored.Add(Excerpt(line.name) + " (" + why + ")");
  }
  return ignored.Empty() ? std::string() : prefix + "ignored " + ignored.Text();
}

ComDevice ComDeviceMap::Resolve(int portNumber) const {
  if (!deviceOption_.empty()) return {deviceOption_, ComSource::kDeviceOption, {}};
  const char* variable = environment_(ComVariableName(portNumber).c_str());
  if (variable != nullptr && *variable != '\0') return {variable, ComSource::kVariable, {}};
  const std::string chosen = Chosen(portNumber);
  if (!chosen.empty() && DevicePresent(chosen)) return {chosen, ComSource::kChosen, {}};
  return {DefaultComDevice(portNumber), ComSource::kDefault, chosen};
}

bool ComDeviceMap::Choose(int portNumber, const std::string& path, std::string& reason) {
  const std::string kept = path == DefaultComDevice(portNumber) ? std::string() : path;
  if (store_ == nullptr) {
    reason = "there is no place to keep it";
    return false;
  }
  if (!Remember(EntryName(portNumber), kept, reason)) {
    reason = store_->Location() + ": " + reason;
    return false;
  }
  if (kept.empty()) {
    chosen_.erase(portNumber);
  } else {
    chosen_[portNumber] = kept;
  }
  return true;
}

// The file is read again rather than taken from Load: it may have been edited since.
bool ComDeviceMap::Remember(const std::string& name, const std::string& path, std::string& reason) {
  std::string text;
  if (!store_->Read(text, reason)) return false;
  KeptEntries entries;
  if (const auto lost = ReadAllEntries(text, entries)) {
    reason = lost->Named() + " would be lost; the file is left as it is";
    return false;
  }
  if (path.empty()) {
    entries.erase(name);
  } else {
    entries[name] = path;
  }
  const std::string next = WriteSettings(entries);
  KeptEntries readBack;
  if (ReadAllEntries(next, readBack) || readBack != entries) {
    reason = Excerpt(path) + " cannot be kept so that it reads back the same";
    return false;
  }
  if (next.size() > ComMappingStore::kMaxBytes) {
    reason = "the file would grow over 64 KiB; the file is left as it is";
    return false;
  }
  return store_->Write(next, reason);
}

std::string ComDeviceMap::Chosen(int portNumber) const {
  const auto found = chosen_.find(portNumber);
  return found == chosen_.end() ? std::string() : found->second;
}

}  // namespace gelvar
