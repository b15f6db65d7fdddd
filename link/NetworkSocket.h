#pragma once
// The few socket calls in which POSIX sockets and Winsock differ, for the
// network ports (NetworkConnect.cpp, NetworkPort.cpp). Internal to the link.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <chrono>
#include <string>

namespace SerialLayer::Net {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using Socket = SOCKET;
const Socket NoSocket = INVALID_SOCKET;
#else
using Socket = int;
constexpr Socket NoSocket = -1;
#endif

// Winsock wants starting once per process; nothing elsewhere.
void StartSockets();
// The error of the last failed call, and what kind it is.
int LastError();
bool WouldBlock(int e);
bool ConnectPending(int e);
bool Interrupted(int e);
void CloseSocket(Socket s);
bool MakeNonBlocking(Socket s);
// Flags of every send (POSIX: a closed connection is told by the failed
// send, not by SIGPIPE).
int SendFlags();
// Words for a socket error and for a failed name lookup.
std::string ErrorText(int e);
std::string LookupErrorText(int e);
// 1 ready, 0 not within `ms`, -1 failed. A failed connect shows as an exception.
int Wait(Socket s, bool forWriting, int ms);
// No delay for small writes, and keep-alive probes.
void Configure(Socket s);
// The error a non-blocking connect ended with (0: connected).
int PendingError(Socket s);
// Milliseconds until `deadline`, 0 when past, at most a minute.
int MsUntil(Clock::time_point deadline);

}  // namespace SerialLayer::Net
