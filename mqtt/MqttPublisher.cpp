#include "MqttPublisher.h"

#include <mosquitto.h>
#ifdef __linux__
#include <pthread.h>
#endif

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "MessageQueue.h"

namespace mqtt {
namespace {

std::once_flag g_libraryInit;

// MQTT 3.1.1 connect return codes that no further try mends.
constexpr int ConnackBadCredentials = 4;
constexpr int ConnackNotAuthorized = 5;
// The retained status goes out at QoS 1: it must arrive.
constexpr int StatusQos = 1;
// How long Stop waits for the broker to take "offline".
constexpr int OfflineWaitMs = 1000;
// The feeder gathers values for this long (or until BatchSize wait) before
// it hands them over: the threads wake once per handful of values, not per
// value. It is the longest delay publishing adds to a value.
constexpr int LingerMs = 100;
constexpr std::size_t BatchSize = 16;

}  // namespace

struct Publisher::Impl {
    explicit Impl(const Settings& s) : settings(s), queue(s.QueueLimit) {}

    const Settings settings;
    mosquitto* client = nullptr;
    std::string serialLevel;
    std::string info;

    mutable std::mutex lock;
    std::condition_variable work;     // the feeder: values to hand over, room in flight, the end
    std::condition_variable settled;  // Flush and Stop: values delivered, a new state
    MessageQueue queue;
    BrokerState state = BrokerState::Off;
    std::string lastError;
    // Message ids handed to the library and not confirmed yet: values and
    // the retained status / identity. A confirmation may come before the
    // feeder has noted the id (the network thread is quick): it waits in `early`.
    std::set<int> inFlight, control, early;
    Counts counts;
    bool quit = false;
    bool loopStarted = false;
    std::thread feeder;

    std::string TopicOf(Topic t) const { return TopicName(settings.Prefix, serialLevel, t); }

    // Hands one message to the library; the library's result.
    int HandOver(const std::string& topic, const std::string& payload, int qos, bool retain, bool value) {
        int mid = 0;
        const int rc = mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                         payload.data(), qos, retain);
        if (rc != MOSQ_ERR_SUCCESS) return rc;
        std::lock_guard<std::mutex> l(lock);
        if (early.erase(mid) > 0) {
            if (value) ++counts.Delivered;
            settled.notify_all();
        } else {
            (value ? inFlight : control).insert(mid);
        }
        return rc;
    }

    bool Ready() const {
        return state == BrokerState::Connected && queue.Size() > 0 &&
               inFlight.size() < static_cast<std::size_t>(MaxInFlight);
    }

    // The first connect: its name lookup waits, so it happens here, never on
    // the caller's thread (the tick). Later ones are the network thread's.
    void Connect() {
        const int rc = mosquitto_connect_async(client, settings.Host.c_str(), settings.EffectivePort(),
                                               settings.KeepAliveS);
        const int started = mosquitto_loop_start(client);
        std::lock_guard<std::mutex> l(lock);
        // A broker that cannot be reached now is tried again by the network thread.
        if (rc != MOSQ_ERR_SUCCESS) lastError = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        if (started == MOSQ_ERR_SUCCESS) {
            loopStarted = true;
        } else {
            lastError = std::string("the network thread does not start: ") + mosquitto_strerror(started);
        }
    }

    void Feed() {
#ifdef __linux__
        pthread_setname_np(pthread_self(), "mqtt feeder");  // for top -H and the benchmarks
#endif
        Connect();
        std::unique_lock<std::mutex> l(lock);
        for (;;) {
            work.wait(l, [this] { return quit || Ready(); });
            if (quit) return;
            work.wait_for(l, std::chrono::milliseconds(LingerMs), [this] {
                return quit || state != BrokerState::Connected || queue.Size() >= BatchSize;
            });
            while (!quit && Ready()) {
                Message m;
                queue.Pop(&m);
                l.unlock();
                const int rc = HandOver(m.Topic, m.Payload, settings.Qos, false, true);
                l.lock();
                if (rc == MOSQ_ERR_SUCCESS) continue;
                if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) {
                    // The connection broke before its callback came: the value
                    // waits for the next one.
                    queue.PushFront(std::move(m));
                    work.wait_for(l, std::chrono::milliseconds(50));
                    break;
                }
                ++counts.Lost;
                lastError = std::string("a value was not taken: ") + mosquitto_strerror(rc);
                settled.notify_all();
            }
        }
    }

    static Impl* Of(void* obj) { return static_cast<Impl*>(obj); }

    static void OnConnect(mosquitto* client, void* obj, int rc) {
        Impl& self = *Of(obj);
        if (rc != 0) {
            bool refused = rc == ConnackBadCredentials || rc == ConnackNotAuthorized;
            {
                std::lock_guard<std::mutex> l(self.lock);
                self.lastError = std::string("the broker refused the connection: ") + mosquitto_connack_string(rc);
                if (refused) self.state = BrokerState::Refused;
                self.settled.notify_all();
            }
            // Wrong credentials stay wrong: no more tries.
            if (refused) mosquitto_disconnect(client);
            return;
        }
        {
            std::lock_guard<std::mutex> l(self.lock);
            if (self.quit) return;
            self.state = BrokerState::Connected;
            self.lastError.clear();
            self.early.clear();
            ++self.counts.Connects;
        }
        self.HandOver(self.TopicOf(Topic::Status), StatusOnline, StatusQos, true, false);
        self.HandOver(self.TopicOf(Topic::Info), self.info, StatusQos, true, false);
        std::lock_guard<std::mutex> l(self.lock);
        self.work.notify_all();
        self.settled.notify_all();
    }

    static void OnDisconnect(mosquitto*, void* obj, int rc) {
        Impl& self = *Of(obj);
        std::lock_guard<std::mutex> l(self.lock);
        if (self.state != BrokerState::Refused && !self.quit) {
            self.state = BrokerState::Reconnecting;
            if (rc != 0) self.lastError = mosquitto_strerror(rc);
        }
        if (self.settings.Qos == 0) {
            // QoS 0 values not written yet are gone with the connection.
            self.counts.Lost += self.inFlight.size();
            self.inFlight.clear();
        }
        self.early.clear();
        self.settled.notify_all();
    }

    static void OnPublish(mosquitto*, void* obj, int mid) {
        Impl& self = *Of(obj);
        std::lock_guard<std::mutex> l(self.lock);
        if (self.inFlight.erase(mid) > 0) {
            ++self.counts.Delivered;
            // Room again after a full window: the feeder goes on.
            if (self.inFlight.size() + 1 == static_cast<std::size_t>(MaxInFlight)) self.work.notify_all();
        } else if (self.control.erase(mid) == 0) {
            self.early.insert(mid);
        }
        self.settled.notify_all();
    }

    static void OnLog(mosquitto*, void* obj, int level, const char* text) {
        if ((level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) == 0 || !text) return;
        Impl& self = *Of(obj);
        std::lock_guard<std::mutex> l(self.lock);
        self.lastError = text;
    }
};

bool Publisher::Built() { return true; }

Publisher::Publisher(Settings settings) : m_settings(std::move(settings)), m_impl(new Impl(m_settings)) {}

Publisher::~Publisher() { Stop(0); }

std::string Publisher::TopicOf(Topic topic) const { return m_impl->TopicOf(topic); }

bool Publisher::Start(const std::string& serial, const std::string& infoJson, std::string* error) {
    Impl& d = *m_impl;
    if (d.client) return true;
    std::call_once(g_libraryInit, [] { mosquitto_lib_init(); });
    const Settings& s = m_settings;
    d.serialLevel = TopicLevel(serial);
    d.info = infoJson;
    if (!s.TlsCaFile.empty() && !std::ifstream(s.TlsCaFile)) {
        *error = "cannot read the CA file " + s.TlsCaFile + ": " + std::strerror(errno);
        return false;
    }
    d.client = mosquitto_new(nullptr, true, &d);
    if (!d.client) {
        *error = std::string("cannot make an MQTT client: ") + std::strerror(errno);
        return false;
    }
    auto failed = [&](const char* what, int rc) {
        *error = std::string(what) + ": " + mosquitto_strerror(rc);
        mosquitto_destroy(d.client);
        d.client = nullptr;
        return false;
    };
    int rc = mosquitto_int_option(d.client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (rc == MOSQ_ERR_SUCCESS && !s.User.empty())
        rc = mosquitto_username_pw_set(d.client, s.User.c_str(), s.Password.empty() ? nullptr : s.Password.c_str());
    if (rc != MOSQ_ERR_SUCCESS) return failed("the user name is not taken", rc);
    if (s.Tls) {
        rc = mosquitto_tls_set(d.client, s.TlsCaFile.empty() ? nullptr : s.TlsCaFile.c_str(),
                               s.TlsCaFile.empty() ? SystemCaFolder : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return failed("TLS cannot be set up", rc);
    }
    const std::string status = d.TopicOf(Topic::Status);
    rc = mosquitto_will_set(d.client, status.c_str(), static_cast<int>(std::strlen(StatusOffline)), StatusOffline,
                            StatusQos, true);
    if (rc != MOSQ_ERR_SUCCESS) return failed("the topic is not taken", rc);
    mosquitto_reconnect_delay_set(d.client, ReconnectMinS, ReconnectMaxS, true);
    mosquitto_max_inflight_messages_set(d.client, MaxInFlight);
    mosquitto_connect_callback_set(d.client, &Impl::OnConnect);
    mosquitto_disconnect_callback_set(d.client, &Impl::OnDisconnect);
    mosquitto_publish_callback_set(d.client, &Impl::OnPublish);
    mosquitto_log_callback_set(d.client, &Impl::OnLog);

    {
        std::lock_guard<std::mutex> l(d.lock);
        d.state = BrokerState::Connecting;
        d.quit = false;
    }
    d.feeder = std::thread([&d] { d.Feed(); });
    return true;
}

void Publisher::Publish(Topic topic, std::string payload) {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> l(d.lock);
    ++d.counts.Queued;
    d.queue.Push({d.TopicOf(topic), std::move(payload)});
    // The feeder wakes for the first value of a batch and for a full one.
    if (d.queue.Size() == 1 || d.queue.Size() == BatchSize) d.work.notify_all();
}

BrokerState Publisher::State() const {
    std::lock_guard<std::mutex> l(m_impl->lock);
    return m_impl->state;
}

std::string Publisher::LastError() const {
    std::lock_guard<std::mutex> l(m_impl->lock);
    return m_impl->lastError;
}

Counts Publisher::GetCounts() const {
    const Impl& d = *m_impl;
    std::lock_guard<std::mutex> l(d.lock);
    Counts c = d.counts;
    c.Dropped = d.queue.Dropped();
    c.Waiting = d.queue.Size() + d.inFlight.size();
    return c;
}

bool Publisher::Flush(int limitMs) {
    Impl& d = *m_impl;
    std::unique_lock<std::mutex> l(d.lock);
    return d.settled.wait_for(l, std::chrono::milliseconds(limitMs > 0 ? limitMs : 0),
                              [&d] { return d.queue.Size() == 0 && d.inFlight.empty(); });
}

void Publisher::Stop(int flushMs) {
    Impl& d = *m_impl;
    if (!d.client) return;
    if (flushMs > 0) Flush(flushMs);
    if (State() == BrokerState::Connected &&
        d.HandOver(d.TopicOf(Topic::Status), StatusOffline, StatusQos, true, false) == MOSQ_ERR_SUCCESS) {
        std::unique_lock<std::mutex> l(d.lock);
        d.settled.wait_for(l, std::chrono::milliseconds(OfflineWaitMs), [&d] { return d.control.empty(); });
    }
    {
        std::lock_guard<std::mutex> l(d.lock);
        d.quit = true;
        d.state = BrokerState::Off;
        d.work.notify_all();
    }
    if (d.feeder.joinable()) d.feeder.join();
    mosquitto_disconnect(d.client);
    if (d.loopStarted) mosquitto_loop_stop(d.client, false);
    d.loopStarted = false;
    mosquitto_destroy(d.client);
    d.client = nullptr;
}

}  // namespace mqtt
