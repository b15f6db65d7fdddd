#pragma once
// Where and how values are published to an MQTT broker: the broker's
// address, the topic prefix, the credentials, the quality of service, TLS
// and the queue limit; the broker address as a user writes it
// (mqtt://HOST[:PORT]) and the topics built from prefix and serial number.
// Plain text work, no network.
#include <cstddef>
#include <string>

namespace mqtt {

constexpr int DefaultPort = 1883;
constexpr int DefaultTlsPort = 8883;
constexpr const char* DefaultPrefix = "ora2orb2";
// Values kept while the broker is away; beyond that the oldest are dropped.
constexpr std::size_t DefaultQueueLimit = 10000;
constexpr std::size_t MaxQueueLimit = 10000000;
// The environment variable that holds the password when no file is given.
constexpr const char* PasswordVariable = "ORA2ORB2_MQTT_PASSWORD";
// The system's folder of trusted certificates (mqtts:// without a CA file).
constexpr const char* SystemCaFolder = "/etc/ssl/certs";

struct Settings {
    std::string Host;
    int Port = 0;  // 0: DefaultPort, or DefaultTlsPort with TLS
    bool Tls = false;
    std::string TlsCaFile;  // "" with Tls: the system's certificates
    std::string Prefix = DefaultPrefix;
    std::string User;
    std::string Password;
    int Qos = 0;  // 0 or 1
    std::size_t QueueLimit = DefaultQueueLimit;
    int KeepAliveS = 30;

    int EffectivePort() const { return Port > 0 ? Port : (Tls ? DefaultTlsPort : DefaultPort); }
    // "mqtt://host:1883", as the user would write it back.
    std::string Address() const;
};

// Reads "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" (TLS) into s->Host,
// s->Port and s->Tls; an IPv6 address goes in brackets ("mqtt://[::1]:1883").
// A user or password inside the address is refused: the password never goes
// on a command line. False with `error` saying why.
bool ParseBrokerAddress(const std::string& text, Settings* s, std::string* error);

// A topic prefix: one or more levels ("ora2orb2", "plant/hall1"), without
// the wildcards + and #; a trailing '/' is dropped. False with `error`
// (one line, for the tool and the dialog alike).
bool ParsePrefix(const std::string& text, std::string* prefix, std::string* error);

// The serial number as one topic level: blanks trimmed, every character
// other than letters, digits, '-', '_' and '.' replaced by '_'; "unknown"
// when nothing is left.
std::string TopicLevel(const std::string& serial);

// The value topics and the retained ones of one sensor.
enum class Topic { Distance, Temperature, Status, Info };
std::string TopicName(const std::string& prefix, const std::string& serialLevel, Topic topic);

// The retained texts of the status topic.
constexpr const char* StatusOnline = "online";
constexpr const char* StatusOffline = "offline";

// The first line of a password file, without its line end. False when the
// file cannot be read (`error` says why).
bool ReadPasswordFile(const std::string& path, std::string* password, std::string* error);

}  // namespace mqtt
