#pragma once
// Debian's ser2net (4.x) as the device server of the network port tests,
// started by the test on free loopback ports with a configuration file of its
// own, in front of one serial device (the simulator's pseudo-terminal): a raw
// TCP accepter, a Telnet accepter with COM port control (RFC 2217), and the
// latter once more on the IPv6 loopback address when the machine has one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace testsupport {

// TCP ports on 127.0.0.1 that nothing uses right now (all different).
inline std::vector<int> FreeLoopbackPorts(std::size_t count) {
    std::vector<int> sockets, ports;
    for (std::size_t i = 0; i < count; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            ports.push_back(0);
        else
            ports.push_back(ntohs(a.sin_port));
        sockets.push_back(s);
    }
    for (int s : sockets)
        if (s >= 0) ::close(s);
    return ports;
}

inline bool HasIpv6Loopback() {
    const int s = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0) ::close(s);
    return ok;
}

// True while a socket listens on `port` (seen in the kernel's tables, without connecting).
inline bool Listening(int port) {
    char local[16];
    std::snprintf(local, sizeof local, ":%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, address, remote, state;
            fields >> slot >> address >> remote >> state;
            if (state == "0A" && address.size() > 5 && address.compare(address.size() - 5, 5, local) == 0) return true;
        }
    }
    return false;
}

class Ser2net {
public:
    static constexpr const char* Program = "/usr/sbin/ser2net";

    // `device` at `lineSettings` (ser2net's notation, e.g. "9600n81") for the raw accepter
    // and until a client of the Telnet accepter sets its own.
    Ser2net(const std::string& folder, const std::string& device, const std::string& lineSettings = "9600n81")
        : m_config(folder + "/ser2net.yaml"), m_log(folder + "/ser2net.log") {
        const std::vector<int> ports = FreeLoopbackPorts(3);
        rawPort = ports[0];
        rfc2217Port = ports[1];
        ipv6Port = HasIpv6Loopback() ? ports[2] : 0;
        const std::string connector = "  connector: serialdev," + device + "," + lineSettings + ",local\n";
        std::ofstream yaml(m_config);
        yaml << "%YAML 1.1\n---\n"
             << "connection: &raw\n  accepter: tcp,127.0.0.1," << rawPort << "\n" << connector
             << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port << "\n" << connector;
        if (ipv6Port) yaml << "connection: &rfc2217v6\n  accepter: telnet(rfc2217),tcp,::1," << ipv6Port << "\n" << connector;
    }

    // Starts it (again) on the same ports; true once every accepter listens.
    bool Start() {
        if (!m_process.Start({Program, "-n", "-d", "-u", "-c", m_config}, m_log)) return false;
        return WaitFor([this] {
                   return !m_process.Running() ||
                          (Listening(rawPort) && Listening(rfc2217Port) && (!ipv6Port || Listening(ipv6Port)));
               }) &&
               m_process.Running();
    }
    // Ends it at once, as a crash or a power cut of the device server would.
    void Kill() { m_process.Kill(SIGKILL); }
    bool Running() { return m_process.Running(); }

    std::string Raw() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }
    std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port); }
    std::string Rfc2217Ipv6() const { return "rfc2217://[::1]:" + std::to_string(ipv6Port); }
    // What it said (for the message of a failed test).
    std::string Log() const {
        std::ifstream in(m_log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    int rawPort = 0, rfc2217Port = 0, ipv6Port = 0;  // ipv6Port 0: no IPv6 loopback here

private:
    std::string m_config, m_log;
    ChildProcess m_process;
};

}  // namespace testsupport
