// A scripted walk through the program's windows that saves a picture of each, for the
// documentation: `gelvar-monitor --screenshot-tour=FOLDER` with a unit (or gelvar-unit-sim) on COM 1.
// It drives the windows as a user would, through the menu and the buttons, and ends the program.
#pragma once

#include <QString>
#include <QStringList>

namespace gelvar {

class DeviceChooserDialog;
class LinkInsideWindow;
class MonitorDialog;
class ProtocolWindow;
class SensorTestDialog;

struct TourWindows {
  MonitorDialog& main;
  ProtocolWindow& protocol;
  LinkInsideWindow& inside;
  SensorTestDialog& sensorTest;
  DeviceChooserDialog& deviceChooser;
};

// The folder given with --screenshot-tour=, empty without the option.
QString ScreenshotTourFolder(const QStringList& arguments);

// Starts the walk; it runs in the event loop and closes the main window at its end.
void StartScreenshotTour(const TourWindows& windows, const QString& folder);

}  // namespace gelvar
