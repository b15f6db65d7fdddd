// The publisher of a build without an MQTT client library (ORA_MQTT off, as
// in the Windows cross-build): it says so and publishes nothing.
#include "MqttPublisher.h"

#include <utility>

namespace mqtt {

struct Publisher::Impl {};

bool Publisher::Built() { return false; }
Publisher::Publisher(Settings settings) : m_settings(std::move(settings)) {}
Publisher::~Publisher() = default;
bool Publisher::Start(const std::string&, const std::string&, std::string* error) {
    *error = "not built with MQTT";
    return false;
}
void Publisher::Publish(Topic, std::string) {}
BrokerState Publisher::State() const { return BrokerState::Off; }
std::string Publisher::LastError() const { return "not built with MQTT"; }
Counts Publisher::GetCounts() const { return {}; }
std::string Publisher::TopicOf(Topic topic) const { return TopicName(m_settings.Prefix, "", topic); }
bool Publisher::Flush(int) { return true; }
void Publisher::Stop(int) {}

}  // namespace mqtt
