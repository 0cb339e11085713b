#include "cli/mqtt_publisher.h"

#include "cli/console_text.h"

namespace gelvar {
namespace {

constexpr std::int32_t kReportPollMs = 250;

}  // namespace

MqttPublisher::MqttPublisher(const CliOptions& options, std::string password, const Monitor& monitor, TimerHost& timers,
                             Console& console)
    : options_(options),
      monitor_(monitor),
      timers_(timers),
      console_(console),
      client_({options.mqtt, std::move(password), options.mqttCaFile, {options.mqtt.prefix + "/status", "offline"}}) {}

MqttPublisher::~MqttPublisher() { Stop(); }

bool MqttPublisher::Start(std::string& error) {
  Greet(monitor_.TemperatureUnitCode());
  if (!client_.Start(error)) return false;
  reportTimer_ = timers_.StartTimer(kReportPollMs, [this] { ShowReports(); });
  return true;
}

void MqttPublisher::Stop() {
  if (reportTimer_ >= 0) timers_.StopTimer(reportTimer_);
  reportTimer_ = -1;
  client_.Stop();
}

void MqttPublisher::VariablePassEnded() {
  const int unitCode = monitor_.TemperatureUnitCode();
  if (unitCode != greetedUnit_) Greet(unitCode);
  client_.PublishLatest({options_.mqtt.prefix + "/state", StateJson(monitor_.Fields(), timers_.CalendarTime())});
}

void MqttPublisher::MessageAdded(int /*code*/, const std::string& line, TonePair /*tones*/) {
  client_.Publish({options_.mqtt.prefix + "/messages", Cp1252ToUtf8(line)});
}

// The discovery configs name the temperatures' unit.
void MqttPublisher::Greet(int unitCode) {
  std::vector<MqttMessage> greeting = {{options_.mqtt.prefix + "/status", "online"}};
  if (options_.haDiscovery) {
    for (MqttMessage& config : DiscoveryConfigs(options_.mqtt.prefix, unitCode)) greeting.push_back(std::move(config));
  }
  client_.SetGreeting(std::move(greeting));
  greetedUnit_ = unitCode;
}

void MqttPublisher::ShowReports() {
  const std::string broker = "MQTT broker " + TerminalText(options_.mqtt.Broker());
  for (const MqttClient::Report& report : client_.TakeReports()) {
    switch (report.event) {
      case MqttClient::Event::kConnected:
        console_.Err("I> " + broker + (away_ ? " back" : " connected"));
        away_ = false;
        break;
      case MqttClient::Event::kUnreachable:
        console_.Err("E> " + broker + " not reachable: " + report.reason +
                     (options_.command == CliCommand::kLog ? "; logging goes on, publishing once it is back" : ""));
        away_ = true;
        if (onCannotPublish) onCannotPublish();
        break;
      case MqttClient::Event::kLost:
        console_.Err("E> " + broker + " lost: " + report.reason);
        away_ = true;
        break;
      case MqttClient::Event::kRefused:
        console_.Err("E> " + broker + ": " + report.reason + "; trying again once a minute");
        away_ = true;
        if (onCannotPublish) onCannotPublish();
        break;
      case MqttClient::Event::kNotSent: console_.Err("E> " + broker + ": cannot publish to " + report.reason); break;
    }
  }
}

}  // namespace gelvar
