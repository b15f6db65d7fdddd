#pragma once
// Publishing to an MQTT broker, on the client library's own network thread
// (libmosquitto). Publish only puts a message into the bounded queue and
// returns: the 50 ms tick never waits for the network. A feeder thread hands
// the queued messages to the library while the broker is connected, a
// handful at a time (what came within 100 ms: the threads wake once per
// handful, not per value), at most MaxInFlight unconfirmed; the library
// reconnects with growing pauses (ReconnectMinS up to ReconnectMaxS) when the
// broker goes away.
//
// On every connect the retained status "online" and the retained identity
// (info) go out first; "offline" is the Last Will, so a publisher that dies
// is seen as offline, and Stop says it itself before disconnecting.
//
// What happens to a value, in the counts:
//   Delivered  QoS 1: the broker acknowledged it; QoS 0: it was written to
//              the connection.
//   Dropped    pushed out of the full queue (QueueLimit) while the broker was
//              away or slower than the values.
//   Lost       QoS 0 only: handed to the library, but the connection broke
//              before it was written. (At QoS 1 such values are sent again.)
//   Waiting    in the queue or on their way now; when Stop ends with values
//              still waiting they were not delivered.
// A QoS 0 value written just before a broken connection was noticed counts
// as delivered although the broker may never have read it: where every
// value counts, use QoS 1.
//
// Built without libmosquitto (ORA_MQTT off, the Windows cross-build), Start
// fails with "not built with MQTT" and Built() is false.
#include <cstdint>
#include <memory>
#include <string>

#include "MqttSettings.h"

namespace mqtt {

enum class BrokerState {
    Off,           // not started, or stopped
    Connecting,    // started, not connected yet
    Connected,
    Reconnecting,  // the connection broke (or could not be made); retrying
    Refused,       // the broker refused the user name or password: no more tries
};

struct Counts {
    std::uint64_t Queued = 0;     // values given to Publish
    std::uint64_t Delivered = 0;
    std::uint64_t Dropped = 0;
    std::uint64_t Lost = 0;
    std::uint64_t Waiting = 0;
    std::uint64_t Connects = 0;   // successful connections so far
};

class Publisher {
public:
    static constexpr int MaxInFlight = 100;
    static constexpr int ReconnectMinS = 1;
    static constexpr int ReconnectMaxS = 4;

    explicit Publisher(Settings settings);
    ~Publisher();  // Stop(0)
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Whether this build has an MQTT client at all.
    static bool Built();

    // Starts connecting in the background, with the topics of sensor
    // `serial` and `infoJson` as its retained identity. False (and `error`)
    // only for what no retry mends: settings the library refuses, an
    // unreadable CA file, a build without MQTT.
    bool Start(const std::string& serial, const std::string& infoJson, std::string* error);

    // Queues a value for `topic` (Distance or Temperature). Never waits for
    // the network.
    void Publish(Topic topic, std::string payload);

    BrokerState State() const;
    // The last problem with the broker in words ("" none): why connecting
    // failed, why the connection broke, what the broker refused.
    std::string LastError() const;
    Counts GetCounts() const;
    const Settings& Config() const { return m_settings; }
    std::string TopicOf(Topic topic) const;

    // Waits at most `limitMs` until no value waits any more; true when none does.
    bool Flush(int limitMs);
    // Waits at most `flushMs` for the queue to empty, says "offline"
    // (retained), disconnects and ends the threads. Values still waiting
    // stay in Counts().Waiting.
    void Stop(int flushMs);

    struct Impl;

private:
    Settings m_settings;
    std::unique_ptr<Impl> m_impl;
};

// "connected", "reconnecting", ... (English, for logs and the tool's notes).
const char* StateName(BrokerState state);

}  // namespace mqtt
