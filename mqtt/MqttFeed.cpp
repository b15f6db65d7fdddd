#include "MqttFeed.h"

#include "MeasurementText.h"
#include "MonitorLoop.h"
#include "clsKOV.h"

namespace mqtt {

std::string InfoPayload(const clsKOV& link) { return "{" + MeasurementText::IdentityJsonMembers(link) + "}"; }

std::string DistancePayload(const Measurement& m) { return MeasurementText::JsonRow(MeasurementText::RowOf(m), false); }

std::string TemperaturePayload(const Measurement& m) {
    return MeasurementText::TemperatureJson(MeasurementText::RowOf(m));
}

void Feed::Distance(const Measurement& m) { m_publisher.Publish(Topic::Distance, DistancePayload(m)); }

void Feed::Temperature(const Measurement& m) { m_publisher.Publish(Topic::Temperature, TemperaturePayload(m)); }

void Feed::Attach(MonitorLoop& loop, bool distances) {
    Detach();
    m_loop = &loop;
    if (distances) m_distanceId = loop.Subscribe([this](const Measurement& m) { Distance(m); });
    m_temperatureId = loop.SubscribeTemperature([this](const Measurement& m) { Temperature(m); });
}

void Feed::Detach() {
    if (!m_loop) return;
    if (m_distanceId) m_loop->Unsubscribe(m_distanceId);
    if (m_temperatureId) m_loop->Unsubscribe(m_temperatureId);
    m_distanceId = m_temperatureId = 0;
    m_loop = nullptr;
}

}  // namespace mqtt
