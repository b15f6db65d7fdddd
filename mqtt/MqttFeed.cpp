#include "MqttFeed.h"

#include "MeasurementText.h"
#include "MonitorLoop.h"
#include "clsKOV.h"

namespace mqtt {

std::string InfoPayload(const clsKOV& link) { return "{" + MeasurementText::IdentityJsonMembers(link) + "}"; }

std::string DistancePayload(const clsKOV& link) {
    return MeasurementText::JsonRow(MeasurementText::RowOf(link), false);
}

std::string TemperaturePayload(const clsKOV& link) {
    return MeasurementText::TemperatureJson(MeasurementText::RowOf(link));
}

void Feed::Distance(const clsKOV& link) { m_publisher.Publish(Topic::Distance, DistancePayload(link)); }

void Feed::Temperature(const clsKOV& link) { m_publisher.Publish(Topic::Temperature, TemperaturePayload(link)); }

void Feed::Attach(MonitorLoop& loop, bool distances) {
    Detach();
    m_loop = &loop;
    if (distances) m_distanceId = loop.Subscribe([this](clsKOV& link) { Distance(link); });
    m_temperatureId = loop.SubscribeTemperature([this](clsKOV& link) { Temperature(link); });
}

void Feed::Detach() {
    if (!m_loop) return;
    if (m_distanceId) m_loop->Unsubscribe(m_distanceId);
    if (m_temperatureId) m_loop->Unsubscribe(m_temperatureId);
    m_distanceId = m_temperatureId = 0;
    m_loop = nullptr;
}

}  // namespace mqtt
