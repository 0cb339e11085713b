#include "qt/serial_discovery_qt.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace gelvar {
namespace {

const QString kGroup = QStringLiteral("SerialDevices");

std::string LocalText(const QString& text) { return QFile::encodeName(text).toStdString(); }

// "FTDI FT232R USB UART, serial A50285BI, now /dev/ttyUSB0": maker, model and serial number of an
// adapter, and the kernel's name of the moment where the path is the stable one.
std::string Describe(const QSerialPortInfo& info, const std::string& path) {
  QStringList what;
  for (const QString& part : {info.manufacturer(), info.description()}) {
    if (!part.isEmpty() && !what.contains(part)) what << part;
  }
  QStringList parts;
  if (!what.isEmpty()) parts << what.join(u' ');
  if (!info.serialNumber().isEmpty()) parts << QStringLiteral("serial ") + info.serialNumber();
  if (path != LocalText(info.systemLocation())) parts << QStringLiteral("now ") + info.systemLocation();
  if (parts.isEmpty()) {
    parts << (info.portName().startsWith(u"ttyS") ? QStringLiteral("built-in serial port")
                                                  : QStringLiteral("serial port"));
  }
  return parts.join(QStringLiteral(", ")).toStdString();
}

}  // namespace

std::vector<SerialDeviceEntry> QtSerialDiscovery::Devices() {
  std::vector<SerialDeviceEntry> devices;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    const std::string path = StableDevicePath(LocalText(info.systemLocation()));
    devices.push_back({path, Describe(info, path)});
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDeviceEntry& a, const SerialDeviceEntry& b) { return a.path < b.path; });
  return devices;
}

QString QtComMappingStore::UserFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/gelvar/gelvar-monitor.conf");
}

std::string QtComMappingStore::Location() const { return LocalText(file_); }

// A file that cannot be read is never written either: that would lose the entries it holds.
bool QtComMappingStore::Readable(QSettings& settings, std::string& reason) const {
  const QFileInfo file(file_);
  if (file.exists() && !(file.isFile() && file.isReadable())) {
    reason = file.isFile() ? "cannot be read" : "is not a file";
    return false;
  }
  if (settings.status() == QSettings::NoError) return true;
  reason = "is not a settings file";
  return false;
}

bool QtComMappingStore::Read(Entries& entries, std::string& reason) {
  QSettings settings(file_, QSettings::IniFormat);
  if (!Readable(settings, reason)) return false;
  settings.beginGroup(kGroup);
  for (const QString& key : settings.childKeys()) {
    entries.emplace_back(key.toStdString(), LocalText(settings.value(key).toString()));
  }
  return true;
}

bool QtComMappingStore::Write(const std::string& name, const std::string& path, std::string& reason) {
  QSettings settings(file_, QSettings::IniFormat);
  if (!Readable(settings, reason)) return false;
  settings.beginGroup(kGroup);
  if (path.empty()) {
    settings.remove(QString::fromStdString(name));
  } else {
    settings.setValue(QString::fromStdString(name), QFile::decodeName(path.c_str()));
  }
  settings.sync();
  if (settings.status() == QSettings::NoError) return true;
  reason = "cannot be written";
  return false;
}

}  // namespace gelvar
