#include "qt/serial_discovery_qt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace gelvar {
namespace {

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

constexpr std::string_view kCannotBeRead = "cannot be read: ";

// At most one byte more than a settings file may hold, so that a larger file shows as one.
bool ReadRegularFile(int fd, std::string& text, std::string& reason) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    reason = "is not a regular file";
    return false;
  }
  text.resize(ComMappingStore::kMaxBytes + 1);
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
    if (n == 0) break;
    if (n > 0) {
      size += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      reason = std::string(kCannotBeRead) + std::strerror(errno);
      return false;
    }
  }
  text.resize(size);
  if (size <= ComMappingStore::kMaxBytes) return true;
  reason = "is larger than 64 KiB (not a settings file of this program)";
  return false;
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

// Opened without waiting and its type asked of what was opened: a named pipe in the file's place
// would otherwise hold the program in open() for good.
bool QtComMappingStore::Read(std::string& text, std::string& reason) {
  const std::string path = Location();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && ::lstat(path.c_str(), &link) != 0) {
      text.clear();  // nothing chosen yet
      return true;
    }
    reason = error == ENOENT ? "is a symbolic link to a file that is not there"
                             : std::string(kCannotBeRead) + std::strerror(error);
    return false;
  }
  const bool read = ReadRegularFile(fd, text, reason);
  ::close(fd);
  return read;
}

// Written whole or not at all (a full disk or a crash leaves the old file), into the file a symbolic
// link names.
bool QtComMappingStore::Write(const std::string& text, std::string& reason) {
  QDir().mkpath(QFileInfo(file_).absolutePath());
  QSaveFile file(file_);
  if (file.open(QIODevice::WriteOnly) &&
      file.write(text.data(), static_cast<qint64>(text.size())) == qint64(text.size()) && file.commit()) {
    return true;
  }
  reason = "cannot be written: " + file.errorString().toStdString();
  return false;
}

}  // namespace gelvar
