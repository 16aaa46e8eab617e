#include "link/serial_channel.h"

#include <algorithm>
#include <vector>

namespace zef {

SerialChannel::SerialChannel(PortDirectory& ports, std::chrono::milliseconds step)
    : m_ports(ports), m_step(step) {}

SerialChannel::~SerialChannel() { Close(); }

bool SerialChannel::IsAcceptedBaud(std::int32_t baud) {
    return std::find(kAcceptedBauds.begin(), kAcceptedBauds.end(), baud) != kAcceptedBauds.end();
}

bool SerialChannel::Open(int portNumber, std::int32_t baud) {
    if (portNumber < 1 || portNumber > 4 || IsOpen())
        return false;
    auto backend = m_ports.backendFor(portNumber);
    if (!backend || !backend->open())
        return false;
    if (!IsAcceptedBaud(baud)) {
        backend->close();
        return false;
    }
    // A port that refuses the settings still counts as open: the probe exchange that follows
    // tells whether a controller is really there.
    (void)backend->configure(baud);
    m_backend = std::move(backend);
    m_portNumber = portNumber;
    m_failed = false;
    return true;
}

void SerialChannel::Close() {
    if (m_backend)
        m_backend->close();
    m_backend.reset();
    m_portNumber = 0;
    m_failed = false;
}

bool SerialChannel::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen() || bytes.empty() || m_failed)
        return false;
    return m_backend->write(bytes);
}

std::uint32_t SerialChannel::ReadWithWait(std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return 0;
    const std::size_t wanted = buffer.size();
    std::size_t queued = 0;
    for (int period = 0; period < kWaitPeriods && !m_failed; ++period) {
        const auto deadline = std::chrono::steady_clock::now() + m_step;
        for (;;) {
            queued = m_backend->bytesWaiting();
            if (queued >= wanted || std::chrono::steady_clock::now() >= deadline)
                break;
            if (!m_backend->waitForBytes(deadline)) {
                // The device is gone: stop waiting on it now and in every later exchange,
                // instead of spinning on a descriptor that reports an error at once.
                m_failed = true;
                queued = m_backend->bytesWaiting();
                break;
            }
        }
    }
    if (m_failed && queued == 0)
        queued = m_backend->bytesWaiting();
    if (queued == 0)
        return 0;

    std::vector<std::uint8_t> taken(queued);
    const std::size_t got = m_backend->read(taken);
    std::copy_n(taken.begin(), std::min(got, wanted), buffer.begin());
    return static_cast<std::uint32_t>(queued);
}

std::size_t SerialChannel::DiscardInput() {
    if (!IsOpen())
        return 0;
    std::size_t total = 0;
    std::uint8_t sink[64];
    while (m_backend->bytesWaiting() > 0) {
        const std::size_t n = m_backend->read(sink);
        if (n == 0)
            break;
        total += n;
    }
    m_discarded += total;
    return total;
}

void SerialChannel::SetDtr() {
    if (IsOpen())
        m_backend->setDtr(true);
}

void SerialChannel::ClearRts() {
    if (IsOpen())
        m_backend->setRts(false);
}

} // namespace zef
