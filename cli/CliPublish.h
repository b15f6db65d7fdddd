#pragma once
// --mqtt of monitor and record: the publisher started once the sensor is
// known (its serial number names the topics), the broker's ups and downs
// told as notes while measuring, and the counts at the end.
#include <memory>
#include <string>

#include "MqttFeed.h"
#include "MqttPublisher.h"

struct Measurement;

namespace cli {

class Session;

class Publishing {
public:
    // The longest wait at the start for the broker's first answer, so that
    // refused credentials end the tool before it measures; a broker that does
    // not answer by then is waited for while measuring.
    static constexpr double StartWaitMs = 3000;
    // The longest wait at the end for the values still queued.
    static constexpr double FinishWaitMs = 5000;

    explicit Publishing(Session& session);
    ~Publishing();

    bool Active() const { return m_publisher != nullptr; }
    // Connects (in the background) and waits a moment for the broker's
    // answer. ExitCode::Ok, or the code after its message went out.
    int Start();
    // A distance the tool took.
    void Distance(const Measurement& m);
    // Once per round of the measurement: tells what the broker did since.
    // ExitCode::BrokerRefused when it refused the credentials, else Ok.
    int Check();
    // Sends what waits (for a while), says offline and tells the counts.
    void Finish();

private:
    void NoteState(mqtt::BrokerState state);

    Session& m_session;
    std::unique_ptr<mqtt::Publisher> m_publisher;
    std::unique_ptr<mqtt::Feed> m_feed;
    mqtt::BrokerState m_told = mqtt::BrokerState::Connecting;
    std::uint64_t m_droppedTold = 0;
    std::uint64_t m_lostTold = 0;
};

}  // namespace cli
