#pragma once
// What goes to the broker from the measurement: every distance as the JSON
// row of the command-line tool's --json output, every temperature reading,
// and the sensor's identity. The texts come from MeasurementText; the
// publisher only queues them, so a feed costs the tick no network wait.
#include <string>

#include "MqttPublisher.h"

class clsKOV;
class MonitorLoop;
struct Measurement;

namespace mqtt {

// {"type":"Serial","attenuator":...,"serial_no":...,"version":...} of the link.
std::string InfoPayload(const clsKOV& link);
// {"time":"...","mm":4608,"value":4.608,"unit":"m","state":"ok"}
std::string DistancePayload(const Measurement& m);
// {"time":"...","temperature_c":23,"state":"ok"}
std::string TemperaturePayload(const Measurement& m);

class Feed {
public:
    explicit Feed(Publisher& publisher) : m_publisher(publisher) {}
    ~Feed() { Detach(); }
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    void Distance(const Measurement& m);
    void Temperature(const Measurement& m);

    // Publishes what `loop` measures until Detach: the temperature readings,
    // and with `distances` every distance too (the command-line tool
    // publishes the rows it takes itself).
    void Attach(MonitorLoop& loop, bool distances);
    void Detach();

private:
    Publisher& m_publisher;
    MonitorLoop* m_loop = nullptr;
    int m_distanceId = 0;
    int m_temperatureId = 0;
};

}  // namespace mqtt
