// gelvar-cli's publisher beside the console: every variable pass and every message line go to the
// broker, and the broker's comings and goings become message lines of their own.
#pragma once

#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/mqtt_client.h"
#include "core/monitor/monitor.h"
#include "core/timing/timer_host.h"

namespace gelvar {

class MqttPublisher : public MonitorEvents {
 public:
  MqttPublisher(const CliOptions& options, std::string password, const Monitor& monitor, TimerHost& timers,
                Console& console);
  ~MqttPublisher() override;
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts connecting; false with a message when the settings cannot be used.
  bool Start(std::string& error);
  // Says "offline" and disconnects.
  void Stop();
  // The first try failed, or the broker refused: for a command that has nothing else to do.
  std::function<void()> onCannotPublish;

  void VariablePassEnded() override;
  void MessageAdded(int code, const std::string& line, TonePair tones) override;

 private:
  void Greet(int unitCode);
  void ShowReports();

  const CliOptions& options_;
  const Monitor& monitor_;
  TimerHost& timers_;
  Console& console_;
  MqttClient client_;
  TimerId reportTimer_ = -1;
  int greetedUnit_ = -1;
  bool away_ = false;
};

}  // namespace gelvar
