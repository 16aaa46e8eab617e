#pragma once

#include "link/serial_backend.h"
#include "sim/simulator.h"

#include <deque>
#include <memory>

namespace zef::sim {

// The simulated controller as a serial device inside the program: requests go straight to the
// simulator, and its replies become readable at the times a real line would deliver them.
class SimBackend final : public SerialBackend {
public:
    explicit SimBackend(std::shared_ptr<Simulator> simulator);
    ~SimBackend() override;

    bool open() override;
    void close() override;
    bool configure(std::int32_t baud) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool waitForBytes(std::chrono::steady_clock::time_point deadline) override;
    void setDtr(bool on) override { m_dtr = on; }
    void setRts(bool on) override { m_rts = on; }
    std::string lastError() const override;
    std::string name() const override { return "simulator"; }

    [[nodiscard]] bool Dtr() const { return m_dtr; }
    [[nodiscard]] bool Rts() const { return m_rts; }
    [[nodiscard]] std::int32_t Baud() const { return m_baud; }

    // Makes the device vanish, like a USB adapter pulled out: what was on its way is lost.
    void Unplug();

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::uint8_t byte;
    };

    std::shared_ptr<Simulator> m_sim;
    std::deque<Pending> m_incoming;
    // One transmitter: a reply cannot start before the one ahead of it has left.
    std::chrono::steady_clock::time_point m_lineFreeAt{};
    bool m_open = false;
    bool m_unplugged = false;
    std::string m_openError;
    bool m_dtr = false;
    bool m_rts = true;
    std::int32_t m_baud = 0;
};

} // namespace zef::sim
