#pragma once
// Debian's mosquitto as the broker of the publishing tests, started by the
// test on a free loopback port with a configuration file of its own (and,
// when asked, a password file and a TLS certificate made by the test), and
// a subscriber on the Mosquitto client library that keeps what it receives.
//
// The broker keeps its sessions across a restart (persistence in the test's
// folder), and the subscriber's session is a lasting one: values that reach
// the broker while the subscriber reconnects are kept for it.
#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Ser2netProcess.h"  // FreeLoopbackPorts, Listening

namespace testsupport {

struct BrokerAccess {
    std::string PasswordFile;  // "": anonymous clients are let in
    std::string TlsCert, TlsKey;  // both given: the listener speaks TLS only
};

class MosquittoBroker {
public:
    static constexpr const char* Program = "/usr/sbin/mosquitto";

    MosquittoBroker(const std::string& folder, const BrokerAccess& access = {})
        : m_config(folder + "/mosquitto.conf"), m_log(folder + "/mosquitto.log") {
        port = FreeLoopbackPorts(1)[0];
        const passwd* me = ::getpwuid(::geteuid());
        std::ofstream conf(m_config);
        // As root it would switch to the user "mosquitto", who cannot read the test's folder.
        if (me) conf << "user " << me->pw_name << "\n";
        conf << "listener " << port << " 127.0.0.1\n"
             << "persistence true\npersistence_location " << folder << "/\n"
             << "log_dest stdout\nlog_type all\n";
        if (access.PasswordFile.empty()) {
            conf << "allow_anonymous true\n";
        } else {
            conf << "allow_anonymous false\npassword_file " << access.PasswordFile << "\n";
        }
        if (!access.TlsCert.empty()) conf << "certfile " << access.TlsCert << "\nkeyfile " << access.TlsKey << "\n";
    }

    // Starts it (again, on the same port); true once it listens.
    bool Start() {
        if (!m_process.Start({Program, "-c", m_config}, m_log)) return false;
        return WaitFor([this] { return !m_process.Running() || Listening(port); }) && m_process.Running();
    }
    // Ends it as an administrator would (it saves its sessions).
    void Stop() { m_process.Kill(SIGTERM); }
    bool Running() { return m_process.Running(); }

    std::string Url(const std::string& scheme = "mqtt") const {
        return scheme + "://127.0.0.1:" + std::to_string(port);
    }
    std::string Log() const {
        std::ifstream in(m_log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    int port = 0;

private:
    std::string m_config, m_log;
    ChildProcess m_process;
};

// Runs a shell command line; true when it succeeded.
inline bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// folder/passwords with `user` and `password` (mosquitto_passwd, from the broker's package).
inline std::string MakePasswordFile(const std::string& folder, const std::string& user, const std::string& password) {
    const std::string file = folder + "/passwords";
    return Shell("mosquitto_passwd -b -c '" + file + "' '" + user + "' '" + password + "'") ? file : "";
}

// A test CA (folder/ca.crt) and a certificate for 127.0.0.1 signed by it
// (folder/server.crt, server.key), made with openssl. False when that failed.
inline bool MakeTestCa(const std::string& folder) {
    const std::string d = "'" + folder + "/";
    std::ofstream(folder + "/san.ext") << "subjectAltName=IP:127.0.0.1\n";
    return Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=ora-test-ca -keyout " + d +
                 "ca.key' -out " + d + "ca.crt'") &&
           Shell("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d + "server.key' -out " + d +
                 "server.csr'") &&
           Shell("openssl x509 -req -days 2 -in " + d + "server.csr' -CA " + d + "ca.crt' -CAkey " + d +
                 "ca.key' -CAcreateserial -extfile " + d + "san.ext' -out " + d + "server.crt'");
}

// A subscriber to `filter` at QoS 1 with a lasting session, reconnecting by itself.
class MqttSubscriber {
public:
    struct Received {
        std::string Topic, Payload;
        bool Retained = false;
        std::chrono::steady_clock::time_point At;
    };

    MqttSubscriber(int port, const std::string& filter, const std::string& id = "ora-test-subscriber")
        : m_filter(filter) {
        mosquitto_lib_init();
        m_client = mosquitto_new(id.c_str(), false, this);
        mosquitto_reconnect_delay_set(m_client, 1, 1, false);
        mosquitto_connect_callback_set(m_client, [](mosquitto* c, void* self, int rc) {
            if (rc == 0) mosquitto_subscribe(c, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
            auto* me = static_cast<MqttSubscriber*>(self);
            std::lock_guard<std::mutex> l(me->m_lock);
            ++me->m_subscribed;
        });
        mosquitto_message_callback_set(m_client, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* me = static_cast<MqttSubscriber*>(self);
            std::lock_guard<std::mutex> l(me->m_lock);
            me->m_received.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                            static_cast<std::size_t>(m->payloadlen)),
                                      m->retain, std::chrono::steady_clock::now()});
        });
        mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~MqttSubscriber() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    // True once subscribed (`times` subscriptions: one per connection).
    bool WaitSubscribed(int times = 1) {
        return WaitFor([&] {
            std::lock_guard<std::mutex> l(m_lock);
            return m_subscribed >= times;
        });
    }
    std::vector<Received> All() const {
        std::lock_guard<std::mutex> l(m_lock);
        return m_received;
    }
    // The payloads of the topics that end with `suffix` ("/distance"), in order.
    std::vector<std::string> Payloads(const std::string& suffix) const {
        std::vector<std::string> out;
        for (const Received& r : All())
            if (r.Topic.size() >= suffix.size() && r.Topic.compare(r.Topic.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(r.Payload);
        return out;
    }

private:
    std::string m_filter;
    mosquitto* m_client = nullptr;
    mutable std::mutex m_lock;
    std::vector<Received> m_received;
    int m_subscribed = 0;
};

}  // namespace testsupport
