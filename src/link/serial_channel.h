#pragma once

#include "link/serial_backend.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

namespace zef {

// The one serial port of a session: numbered ports 1 to 4, the accepted speeds, and the
// waiting read that paces every exchange with the controller.
class SerialChannel {
public:
    // A clock step of the desktop the controller timing was designed around; the controller gets
    // four of them to answer.
    static constexpr std::chrono::milliseconds kDefaultStep{16};
    static constexpr int kWaitPeriods = 4;
    static constexpr std::array<std::int32_t, 15> kAcceptedBauds = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000,
        256000};

    explicit SerialChannel(PortDirectory& ports, std::chrono::milliseconds step = kDefaultStep);
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    [[nodiscard]] static bool IsAcceptedBaud(std::int32_t baud);

    [[nodiscard]] bool Open(int portNumber, std::int32_t baud);
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_backend != nullptr; }
    [[nodiscard]] int PortNumber() const { return m_portNumber; }

    [[nodiscard]] bool Write(std::span<const std::uint8_t> bytes);

    // Waits up to four clock steps for `buffer.size()` bytes, blocking in the operating system.
    // Stores at most buffer.size() of the bytes that came and drops the rest; returns how many
    // were queued, so a surplus shows as a wrong count.
    [[nodiscard]] std::uint32_t ReadWithWait(std::span<std::uint8_t> buffer);

    // Throws away bytes already waiting (a reply that came after its exchange gave up) and
    // returns how many there were.
    std::size_t DiscardInput();
    [[nodiscard]] std::uint64_t DiscardedBytes() const { return m_discarded; }

    void SetDtr();
    void ClearRts();

    [[nodiscard]] std::chrono::milliseconds Step() const { return m_step; }

private:
    PortDirectory& m_ports;
    std::chrono::milliseconds m_step;
    std::unique_ptr<SerialBackend> m_backend;
    int m_portNumber = 0;
    bool m_failed = false; // the device vanished; exchanges fail at once until Close
    std::uint64_t m_discarded = 0;
};

} // namespace zef
