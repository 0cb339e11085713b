// "Choose Serial Device": the serial devices present, to pick the one behind the COM number. The list
// follows devices that come and go while it is open; the choice is remembered for the next runs.
#pragma once

#include <QDialog>

#include <vector>

#include "core/serial/com_devices.h"
#include "core/timing/timer_host.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace gelvar {

class DeviceChooserDialog : public QDialog {
 public:
  DeviceChooserDialog(TimerHost& timers, SerialDiscovery& discovery, ComDeviceMap& devices);

  // Modal; on OK the device chosen is remembered for COM n, or a box says why it could not be.
  void Run(int portNumber);
  const ComDeviceMap& Devices() const { return devices_; }

 private:
  // Lists the devices present again, keeping the selection.
  void Fill();
  void ShowNote();

  TimerHost& timers_;
  SerialDiscovery& discovery_;
  ComDeviceMap& devices_;
  int portNumber_ = 1;
  std::vector<SerialDeviceEntry> shown_;
  QLabel* prompt_;
  QTreeWidget* list_;
  QLabel* note_;
  QPushButton* ok_;
};

}  // namespace gelvar
