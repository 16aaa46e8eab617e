#pragma once

#include "sim/simulator.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zef::sim {

// Serves a simulator on a pseudo-terminal, so the program talks to it through its real serial
// port code. Both ends are raw: 0x03, 0x0D, 0x11 and 0x13 pass untouched and nothing echoes.
class PtyServer {
public:
    explicit PtyServer(std::shared_ptr<Simulator> simulator);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal; on failure `error` says why.
    [[nodiscard]] bool Open(std::string& error);
    [[nodiscard]] const std::string& DevicePath() const { return m_path; }

    // Serves until `stop` becomes true.
    void Run(const std::atomic<bool>& stop);

    // Serves on a thread of its own until Stop or destruction.
    void Start();
    void Stop();

    // Closes the terminal as a pulled-out adapter would vanish.
    void Hangup();

    [[nodiscard]] Simulator& Sim() { return *m_sim; }

    // Requests (positions in the simulator's Frames()) whose reply was finished only after the
    // next request had already come: the program had given up on them and moved on.
    [[nodiscard]] std::vector<std::size_t> Overtaken() const;

private:
    std::shared_ptr<Simulator> m_sim;
    int m_master = -1;
    int m_slaveKeepAlive = -1; // keeps the master readable while no client has the port open
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::size_t> m_overtaken;
};

} // namespace zef::sim
