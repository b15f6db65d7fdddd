#include "CliPublish.h"

#include <algorithm>

#include "CliSession.h"
#include "clsKOV.h"

namespace cli {
namespace {

std::string Because(const std::string& reason) { return reason.empty() ? "" : " (" + reason + ")"; }

}  // namespace

Publishing::Publishing(Session& session) : m_session(session) {
    if (session.Opts().Publish) m_publisher = std::make_unique<mqtt::Publisher>(session.Opts().Mqtt);
}

Publishing::~Publishing() { Finish(); }

int Publishing::Start() {
    if (!m_publisher) return ExitCode::Ok;
    Session& s = m_session;
    const clsKOV& link = s.Link();
    std::string error;
    if (!m_publisher->Start(link.SerialNo, mqtt::InfoPayload(link), &error)) {
        s.Error("cannot publish to " + m_publisher->Config().Address() + ": " + error);
        m_publisher.reset();
        return ExitCode::Usage;
    }
    m_feed = std::make_unique<mqtt::Feed>(*m_publisher);
    m_feed->Attach(s.Loop(), false);
    s.Progress("connecting to the broker " + m_publisher->Config().Address() + " ...");
    const double until = s.Driver().NowMs() + std::min(StartWaitMs, s.Opts().TimeoutS * 1000.0);
    while (m_publisher->State() == mqtt::BrokerState::Connecting && s.Driver().NowMs() < until &&
           !InterruptRequested() && !s.Lost())
        s.Tick();
    s.Progress("");
    if (const int code = Check()) return code;
    if (m_publisher->State() == mqtt::BrokerState::Connecting)
        s.Note("mqtt: no answer yet from the broker " + m_publisher->Config().Address() +
               Because(m_publisher->LastError()) + "; trying again, values wait in a queue of " +
               std::to_string(m_publisher->Config().QueueLimit));
    return ExitCode::Ok;
}

void Publishing::Distance(const Measurement& m) {
    if (m_feed) m_feed->Distance(m);
}

int Publishing::Check() {
    if (!m_publisher) return ExitCode::Ok;
    const mqtt::BrokerState state = m_publisher->State();
    if (state == mqtt::BrokerState::Refused) {
        m_session.Error("the MQTT broker " + m_publisher->Config().Address() + " refused the login" +
                        Because(m_publisher->LastError()) + "; check --mqtt-user and the password");
        return ExitCode::BrokerRefused;
    }
    if (state != m_told) NoteState(state);
    return ExitCode::Ok;
}

void Publishing::NoteState(mqtt::BrokerState state) {
    const mqtt::BrokerState before = m_told;
    m_told = state;
    const std::string broker = m_publisher->Config().Address();
    const std::size_t limit = m_publisher->Config().QueueLimit;
    const mqtt::Counts c = m_publisher->GetCounts();
    if (state == mqtt::BrokerState::Connected) {
        std::string text = std::string("mqtt: ") +
                           (before == mqtt::BrokerState::Connecting ? "connected to " : "connected again to ") + broker +
                           ", publishing to " + m_publisher->TopicOf(mqtt::Topic::Distance);
        if (c.Dropped > m_droppedTold)
            text += "; " + std::to_string(c.Dropped - m_droppedTold) + " values dropped meanwhile";
        if (c.Lost > m_lostTold) text += "; " + std::to_string(c.Lost - m_lostTold) + " values lost with the connection";
        m_droppedTold = c.Dropped;
        m_lostTold = c.Lost;
        m_session.Note(text);
    } else if (state == mqtt::BrokerState::Reconnecting && before == mqtt::BrokerState::Connected) {
        m_session.Note("mqtt: lost the broker " + broker + Because(m_publisher->LastError()) +
                       "; trying again, values wait in a queue of " + std::to_string(limit));
    }
}

void Publishing::Finish() {
    if (!m_publisher) return;
    if (m_feed) m_feed->Detach();
    Session& s = m_session;
    s.Progress("publishing the last values ...");
    // A broker never reached is not waited for.
    const bool reached = m_publisher->GetCounts().Connects > 0;
    m_publisher->Stop(reached ? static_cast<int>(std::min(FinishWaitMs, s.Opts().TimeoutS * 1000.0)) : 0);
    s.Progress("");
    const mqtt::Counts c = m_publisher->GetCounts();
    std::string text = "mqtt: " + std::to_string(c.Delivered) + " of " + std::to_string(c.Queued) +
                       " values delivered to " + m_publisher->Config().Address();
    if (c.Dropped > 0) text += ", " + std::to_string(c.Dropped) + " dropped while the broker was away";
    if (c.Lost > 0) text += ", " + std::to_string(c.Lost) + " lost with a broken connection";
    if (c.Waiting > 0)
        text += ", " + std::to_string(c.Waiting) + " not delivered";
    s.Note(text);
    m_feed.reset();
    m_publisher.reset();
}

}  // namespace cli
