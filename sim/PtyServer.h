#pragma once
// Serves a simulated sensor on a pseudo-terminal: the program opens the
// slave side as if it were a serial port, the server sits on the master side.
// POSIX only.
#ifndef _WIN32
#include <memory>
#include <string>

#include "SensorModel.h"

namespace Sim {

class PtyServer {
public:
    explicit PtyServer(std::shared_ptr<SensorModel> model) : m_Model(std::move(model)) {}
    ~PtyServer() { Stop(); }
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal; with a link path, (re)points that symlink at
    // the slave device, so that the program finds the sensor under a fixed name.
    // Fails when something other than a symlink has that name.
    bool Start(std::string* error, const std::string& linkPath = "");
    // Closes the master side: for the program this is an unplugged adapter.
    // The symlink stays behind, dangling, until the next Start.
    void Stop();
    bool Running() const { return m_Master >= 0; }
    const std::string& SlavePath() const { return m_SlavePath; }

    // One round: waits up to timeoutMs for bytes from the program and hands
    // them to the sensor, then writes what the sensor has sent meanwhile.
    // Returns the number of bytes written to the program.
    int Serve(int timeoutMs);

    // Tests on one thread: after Serve, wait until the bytes written are
    // readable on the program's side (the kernel passes them on with a small
    // delay); and wait until `count` bytes from the program have reached the sensor.
    void SetWaitForDelivery(bool wait) { m_WaitForDelivery = wait; }
    bool ReceiveFromProgram(size_t count, int timeoutMs);

    // Bytes the sensor produced that the pseudo-terminal could not take
    // (the program did not read for a long time).
    size_t Dropped() const { return m_Dropped; }

private:
    void FollowSpeed();
    size_t ReadProgram();
    int SlaveQueue() const;

    std::shared_ptr<SensorModel> m_Model;
    int m_Master = -1;
    int m_Slave = -1;  // held open so the master never sees a hang-up between the program's openings
    std::string m_SlavePath;
    std::string m_LinkPath;
    bool m_WaitForDelivery = false;
    size_t m_Dropped = 0;
};

}  // namespace Sim
#endif
