// Which device stands behind a COM number: the device named by GELVAR_COM<n> when that is set, else
// the device the user chose for n (remembered per user), else /dev/ttyS<n-1>. Window-free: the list
// of devices present and the remembered choices come through the two small interfaces below.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace gelvar {

// One serial device present: the name to open it by and what it is (maker, model, serial number).
struct SerialDeviceEntry {
  std::string path;
  std::string description;
};

class SerialDiscovery {
 public:
  virtual ~SerialDiscovery() = default;
  virtual std::vector<SerialDeviceEntry> Devices() = 0;
};

// Where the chosen devices are kept: a small settings file of this program,
//   [SerialDevices]
//   COM3=/dev/serial/by-id/...
// which ComDeviceMap reads and writes; the store only moves its bytes.
class ComMappingStore {
 public:
  // Far more than 255 entries need: a larger file is not one of this program's and is not read.
  static constexpr std::size_t kMaxBytes = 64 * 1024;

  virtual ~ComMappingStore() = default;
  // The file's bytes, empty when there is no file yet; false with the reason when it cannot be read.
  virtual bool Read(std::string& text, std::string& reason) = 0;
  // Replaces the file's bytes; false with the reason when they cannot be written.
  virtual bool Write(const std::string& text, std::string& reason) = 0;
  // The store's file, for messages.
  virtual std::string Location() const = 0;
};

// "GELVAR_COM<n>": the environment variable that names the device of COM n.
std::string ComVariableName(int portNumber);
// The /dev/serial/by-id name of a device, which stays the same when a USB adapter is plugged into
// another socket; the path itself when the folder holds no name for it.
std::string StableDevicePath(const std::string& path, const std::string& byIdFolder = "/dev/serial/by-id");

enum class ComSource { kDeviceOption, kVariable, kChosen, kDefault };

struct ComDevice {
  std::string path;
  ComSource source = ComSource::kDefault;
  std::string chosenButMissing;  // the chosen device, when it is not there and the default stands in
};

// "COM 1 is /dev/ttyS0 (...)": the device and why it is the one, for the COM field's tooltip and the
// open error.
std::string DescribeComDevice(int portNumber, const ComDevice& device);

class ComDeviceMap {
 public:
  // Looks up an environment variable; getenv when not given.
  using Environment = std::function<const char*(const char*)>;
  explicit ComDeviceMap(ComMappingStore* store = nullptr, Environment environment = {});

  // Reads the chosen devices. Lines that are not an entry of [SerialDevices] (comments aside) and
  // entries that are not a COM number 1..255 with a device name (IsDeviceName) are ignored, and so, while it is
  // missing, is a chosen device that is not there; the returned "E> " line names the first of them.
  // Empty when everything could be used.
  std::string Load();
  // One device for every COM number, ahead of everything else (gelvar-cli --device).
  void UseDevice(std::string path) { deviceOption_ = std::move(path); }

  ComDevice Resolve(int portNumber) const;
  // Remembers path for COM n (the default device forgets the choice); false with the reason and the
  // store's file. A file that would not read back the same apart from this entry is left as it is.
  bool Choose(int portNumber, const std::string& path, std::string& reason);
  // The device chosen for COM n, empty when none.
  std::string Chosen(int portNumber) const;

 private:
  bool Remember(const std::string& name, const std::string& path, std::string& reason);

  ComMappingStore* store_;
  Environment environment_;
  std::map<int, std::string> chosen_;
  std::string deviceOption_;
};

}  // namespace gelvar
