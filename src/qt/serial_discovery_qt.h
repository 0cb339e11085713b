// The serial devices present, through Qt's serial port info, and the chosen devices kept per user in
// the desktop's config folder.
#pragma once

#include <QString>

#include <utility>

#include "core/serial/com_devices.h"

namespace gelvar {

class QtSerialDiscovery : public SerialDiscovery {
 public:
  // USB and ACM devices by their /dev/serial/by-id name where they have one; built-in ports only
  // where a port answers behind them.
  std::vector<SerialDeviceEntry> Devices() override;
};

class QtComMappingStore : public ComMappingStore {
 public:
  // $XDG_CONFIG_HOME/gelvar/gelvar-monitor.conf (~/.config/... by default).
  static QString UserFile();

  explicit QtComMappingStore(QString file = UserFile()) : file_(std::move(file)) {}
  bool Read(std::string& text, std::string& reason) override;
  bool Write(const std::string& text, std::string& reason) override;
  std::string Location() const override;

 private:
  QString file_;
};

}  // namespace gelvar
