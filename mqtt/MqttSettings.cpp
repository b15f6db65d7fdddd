#include "MqttSettings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace mqtt {

std::string Settings::Address() const {
    const bool v6 = Host.find(':') != std::string::npos;
    return std::string(Tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + Host + "]" : Host) + ":" +
           std::to_string(EffectivePort());
}

bool ParseBrokerAddress(const std::string& text, Settings* s, std::string* error) {
    auto fail = [&](const std::string& why) {
        *error = "the broker's address is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not '" + text + "'" +
                 (why.empty() ? "" : ": " + why);
        return false;
    };
    std::string rest;
    bool tls = false;
    if (text.compare(0, 7, "mqtt://") == 0) {
        rest = text.substr(7);
    } else if (text.compare(0, 8, "mqtts://") == 0) {
        rest = text.substr(8);
        tls = true;
    } else {
        return fail("");
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find('@') != std::string::npos)
        return fail("the user goes in --mqtt-user, the password in a file (--mqtt-password-file)");
    if (rest.find('/') != std::string::npos) return fail("no path after the host");
    std::string host, port;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return fail("the IPv6 address lacks its ']'");
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return fail("");
            port = after.substr(1);
            if (port.empty()) return fail("no port after ':'");
        }
    } else {
        const std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return fail("no port after ':'");
        }
    }
    if (host.empty()) return fail("no host");
    int number = 0;
    if (!port.empty()) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(port.c_str(), &end, 10);
        if (errno != 0 || *end != '\0' || port[0] < '0' || port[0] > '9' || v < 1 || v > 65535)
            return fail("the port is a number from 1 to 65535");
        number = static_cast<int>(v);
    }
    s->Host = host;
    s->Port = number;
    s->Tls = tls || s->Tls;
    return true;
}

bool ParsePrefix(const std::string& text, std::string* prefix, std::string* error) {
    std::string p = text;
    while (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) {
        *error = "the topic prefix is one or more levels such as ora2orb2 or plant/hall1";
        return false;
    }
    for (char c : p) {
        if (c == '+' || c == '#' || c == '\0') {
            *error = "the topic prefix must not hold the wildcards + and #, not '" + text + "'";
            return false;
        }
    }
    *prefix = p;
    return true;
}

std::string TopicLevel(const std::string& serial) {
    std::size_t first = 0, last = serial.size();
    while (first < last && (serial[first] == ' ' || serial[first] == '\t')) ++first;
    while (last > first && (serial[last - 1] == ' ' || serial[last - 1] == '\t' || serial[last - 1] == '\0')) --last;
    std::string level;
    for (std::size_t i = first; i < last; ++i) {
        const char c = serial[i];
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.';
        level += keep ? c : '_';
    }
    return level.empty() ? "unknown" : level;
}

std::string TopicName(const std::string& prefix, const std::string& serialLevel, Topic topic) {
    static const char* const names[] = {"distance", "temperature", "status", "info"};
    return prefix + "/" + serialLevel + "/" + names[static_cast<int>(topic)];
}

bool ReadPasswordFile(const std::string& path, std::string* password, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *password = line;
    return true;
}

}  // namespace mqtt
