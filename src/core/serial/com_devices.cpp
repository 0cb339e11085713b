#include "core/serial/com_devices.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

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

bool Present(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

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
  ComMappingStore::Entries entries;
  std::string reason;
  if (!store_->Read(entries, reason)) return "E> Serial device settings " + store_->Location() + ": " + reason;
  std::string ignored;
  for (const auto& [name, path] : entries) {
    const int portNumber = EntryPortNumber(name);
    std::string why;
    if (portNumber == 0) {
      why = "not a COM number 1..255";
    } else if (!path.starts_with('/')) {
      why = "not a device path";
    } else {
      chosen_[portNumber] = path;  // kept while missing: the adapter may be plugged in later
      if (!Present(path)) why = path + " is not there";
    }
    if (!why.empty()) ignored += (ignored.empty() ? "" : ", ") + name + " (" + why + ")";
  }
  if (ignored.empty()) return {};
  return "E> Serial device settings " + store_->Location() + ": ignored " + ignored;
}

ComDevice ComDeviceMap::Resolve(int portNumber) const {
  if (!deviceOption_.empty()) return {deviceOption_, ComSource::kDeviceOption, {}};
  const char* variable = environment_(ComVariableName(portNumber).c_str());
  if (variable != nullptr && *variable != '\0') return {variable, ComSource::kVariable, {}};
  const std::string chosen = Chosen(portNumber);
  if (!chosen.empty() && Present(chosen)) return {chosen, ComSource::kChosen, {}};
  return {DefaultComDevice(portNumber), ComSource::kDefault, chosen};
}

bool ComDeviceMap::Choose(int portNumber, const std::string& path, std::string& reason) {
  const std::string kept = path == DefaultComDevice(portNumber) ? std::string() : path;
  if (store_ == nullptr) {
    reason = "there is no place to keep it";
    return false;
  }
  if (!store_->Write(EntryName(portNumber), kept, reason)) return false;
  if (kept.empty()) {
    chosen_.erase(portNumber);
  } else {
    chosen_[portNumber] = kept;
  }
  return true;
}

std::string ComDeviceMap::Chosen(int portNumber) const {
  const auto found = chosen_.find(portNumber);
  return found == chosen_.end() ? std::string() : found->second;
}

}  // namespace gelvar
