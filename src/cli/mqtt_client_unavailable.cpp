// The MQTT client where libmosquitto is not built (Windows for now): --mqtt is refused with the reason.
#include "cli/mqtt_client.h"

namespace gelvar {

MqttClient::MqttClient(Settings settings) : settings_(std::move(settings)) {}
MqttClient::~MqttClient() = default;

bool MqttClient::Start(std::string& error) {
  error = "--mqtt: this gelvar-cli is built without MQTT (libmosquitto)";
  return false;
}

void MqttClient::SetGreeting(std::vector<MqttMessage> /*messages*/) {}
void MqttClient::PublishLatest(MqttMessage /*message*/) {}
void MqttClient::Publish(MqttMessage /*message*/) {}
std::vector<MqttClient::Report> MqttClient::TakeReports() { return {}; }
void MqttClient::Stop() {}

}  // namespace gelvar
