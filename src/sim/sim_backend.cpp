#include "sim/sim_backend.h"

#include <algorithm>
#include <thread>

namespace zef::sim {

SimBackend::SimBackend(std::shared_ptr<Simulator> simulator) : m_sim(std::move(simulator)) {}

SimBackend::~SimBackend() {
    close();
}

bool SimBackend::open() {
    if (m_open)
        return false;
    if (!m_sim->Claim()) {
        m_openError = "the simulated controller is in use";
        return false;
    }
    m_openError.clear();
    m_open = true;
    m_incoming.clear();
    return true;
}

void SimBackend::close() {
    if (m_open)
        m_sim->Release();
    m_open = false;
    m_incoming.clear();
    m_lineFreeAt = {};
}

bool SimBackend::configure(std::int32_t baud) {
    m_baud = baud;
    return m_open;
}

bool SimBackend::write(std::span<const std::uint8_t> bytes) {
    if (!m_open || m_unplugged)
        return false;
    // The controller answers one request after the other: a request that comes while it is
    // still busy with a late answer is taken up only once that answer has gone out.
    for (const auto& reply : m_sim->Receive(bytes)) {
        const auto start = std::max(std::chrono::steady_clock::now(), m_lineFreeAt);
        for (const auto& piece : reply.pieces) {
            const auto due =
                start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(piece.at);
            for (auto b : piece.bytes)
                m_incoming.push_back({due, b});
            m_lineFreeAt = std::max(m_lineFreeAt, due);
        }
    }
    return true;
}

std::size_t SimBackend::bytesWaiting() {
    if (!m_open || m_unplugged)
        return 0;
    const auto now = std::chrono::steady_clock::now();
    return static_cast<std::size_t>(std::count_if(m_incoming.begin(), m_incoming.end(),
                                                  [&](const Pending& p) { return p.due <= now; }));
}

std::size_t SimBackend::read(std::span<std::uint8_t> buffer) {
    const std::size_t n = std::min(buffer.size(), bytesWaiting());
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = m_incoming.front().byte;
        m_incoming.pop_front();
    }
    return n;
}

void SimBackend::Unplug() {
    m_unplugged = true;
    m_incoming.clear();
}

std::string SimBackend::lastError() const {
    if (m_unplugged)
        return "the simulated controller was unplugged";
    return m_openError;
}

bool SimBackend::waitForBytes(std::chrono::steady_clock::time_point deadline) {
    if (!m_open || m_unplugged)
        return false;
    auto until = deadline;
    for (const auto& p : m_incoming) {
        if (p.due > std::chrono::steady_clock::now()) {
            until = std::min(until, p.due);
            break;
        }
    }
    std::this_thread::sleep_until(until);
    return true;
}

} // namespace zef::sim
