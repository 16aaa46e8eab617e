#include "link/serial_channel.h"

#include <algorithm>
#include <vector>

namespace zef {

SerialChannel::SerialChannel(PortDirectory& ports, std::chrono::milliseconds step)
    : m_ports(ports), m_step(step) {}

SerialChannel::~SerialChannel() {
    Close();
}

bool SerialChannel::IsAcceptedBaud(std::int32_t baud) {
    return std::find(kAcceptedBauds.begin(), kAcceptedBauds.end(), baud) != kAcceptedBauds.end();
}

bool SerialChannel::Open(int portNumber, std::int32_t baud) {
    holdLine();
    if (portNumber < 1 || portNumber > 4 || IsOpen())
        return false;
    m_error.clear();
    m_device.clear();
    m_openFailure = OpenFailure::Unknown;
    auto backend = m_ports.backendFor(portNumber);
    if (!backend)
        return false;
    m_device = backend->name();
    if (!backend->open()) {
        m_error = backend->lastError();
        m_openFailure = backend->openFailure();
        return false;
    }
    if (!IsAcceptedBaud(baud)) {
        backend->close();
        return false;
    }
    // A port that refuses the settings still counts as open: the probe exchange that follows
    // tells whether a controller is really there.
    (void)backend->configure(baud);
    m_backend = std::move(backend);
    m_portNumber = portNumber;
    m_baud = baud;
    m_lost = false;
    m_burstDepth = 0;
    m_figures = {};
    m_awaitQuiet = false;
    m_owed = 0;
    return true;
}

void SerialChannel::Close() {
    holdLine();
    if (m_backend)
        m_backend->close();
    m_backend.reset();
    m_portNumber = 0;
    m_lost = false; // the reason stays readable until the next Open
}

bool SerialChannel::DeviceLost() const {
    holdLine();
    return IsOpen() && (m_lost || !m_backend->lastError().empty());
}

std::string SerialChannel::DeviceError() const {
    holdLine();
    if (IsOpen() && !m_lost) {
        std::string reason = m_backend->lastError();
        if (!reason.empty())
            return reason;
    }
    return m_error;
}

bool SerialChannel::CheckLost() {
    if (m_lost)
        return true;
    if (!m_backend)
        return false;
    std::string reason = m_backend->lastError();
    if (reason.empty())
        return false;
    m_lost = true;
    m_error = std::move(reason);
    return true;
}

bool SerialChannel::Write(std::span<const std::uint8_t> bytes) {
    holdLine();
    if (!IsOpen() || bytes.empty() || CheckLost())
        return false;
    AwaitQuietLine();
    if (CheckLost())
        return false;
    if (InBurst())
        ++m_burstRequests;
    m_lastWrite = Clock::now();
    const bool sent = m_backend->write(bytes);
    return !CheckLost() && sent;
}

std::size_t SerialChannel::Discard() {
    std::size_t total = 0;
    std::uint8_t sink[64];
    while (m_backend->bytesWaiting() > 0) {
        const std::size_t n = m_backend->read(sink);
        if (n == 0)
            break;
        total += n;
    }
    m_figures.lateBytesDiscarded += total;
    // Before the burst's first request the quiet-line wait clears what an earlier exchange left;
    // between its requests a stray byte means one of its own replies was not what it seemed.
    if (total > 0 && InBurst() && m_burstRequests > 0)
        m_burstVoid = true;
    Received(total);
    return total;
}

void SerialChannel::Received(std::size_t bytes) {
    // Surplus bytes pay nothing off beyond what is owed.
    m_owed -= std::min(m_owed, bytes);
}

void SerialChannel::AwaitQuietLine() {
    // Bytes nobody asked for mean some earlier exchange was not what it seemed.
    const std::size_t stray = Discard();
    if (stray == 0 && !m_awaitQuiet)
        return; // the common case: nothing extra before the request
    m_awaitQuiet = false;

    const auto start = Clock::now();
    auto quietSince = stray > 0 ? start : m_lastActivity;
    if (start - quietSince >= m_step)
        return; // quiet long enough already, between two ticks for instance
    ++m_figures.quietWaits;
    const auto giveUp = start + (1 + kQuietExtraSteps) * m_step;
    for (;;) {
        const auto now = Clock::now();
        if (now - quietSince >= m_step || now >= giveUp)
            break;
        if (!m_backend->waitForBytes(std::min(quietSince + m_step, giveUp))) {
            CheckLost();
            break;
        }
        if (Discard() > 0)
            quietSince = Clock::now();
    }
}

bool SerialChannel::StaysQuiet(std::size_t queued) {
    const auto until = Clock::now() + m_step;
    while (Clock::now() < until) {
        if (!m_backend->waitForBytes(until))
            return true; // lost; the caller notices
        if (m_backend->bytesWaiting() > queued)
            return false;
    }
    return m_backend->bytesWaiting() == queued;
}

std::uint32_t SerialChannel::ReadWithWait(std::span<std::uint8_t> buffer) {
    holdLine();
    if (!IsOpen())
        return 0;
    ++m_figures.exchanges;
    const std::size_t wanted = buffer.size();
    const auto start = Clock::now();
    if (m_owed > 0 && start - m_owedSince > kOwedReplySteps * m_step)
        m_owed = 0; // that reply is lost
    if (m_owed == 0)
        m_owedSince = start;
    m_owed += wanted;

    std::size_t queued = 0;
    if (!CheckLost()) {
        // Four clock steps from the request. The deadline is fixed in advance, so a late
        // wake-up does not stretch the wait.
        const auto deadline = start + kWaitPeriods * m_step;
        for (;;) {
            queued = m_backend->bytesWaiting();
            if (queued >= wanted || Clock::now() >= deadline)
                break;
            if (!m_backend->waitForBytes(deadline)) {
                CheckLost();
                queued = m_backend->bytesWaiting();
                break;
            }
        }
        // A whole earlier reply still owed: these bytes may be that one, with this request's
        // own answer right behind.
        const bool earlierOwed = m_owed >= 2 * wanted;
        if (queued == wanted && earlierOwed && !m_lost && !StaysQuiet(queued))
            queued = m_backend->bytesWaiting();
        CheckLost();
    }

    if (queued > 0) {
        std::vector<std::uint8_t> taken(queued);
        const std::size_t got = m_backend->read(taken);
        std::copy_n(taken.begin(), std::min(got, wanted), buffer.begin());
        Received(got);
    }
    if (queued != wanted) {
        ++m_figures.failedExchanges;
        m_awaitQuiet = true;
        m_lastActivity = Clock::now();
        // Its reply may yet come, late enough to pass for the next request's: nothing the burst
        // reads after it is sure to be its own.
        if (InBurst())
            m_burstVoid = true;
    }
    return static_cast<std::uint32_t>(queued);
}

std::uint32_t SerialChannel::ReadWaiting(std::span<std::uint8_t> buffer) {
    holdLine();
    if (!IsOpen())
        return 0;
    ++m_figures.exchanges;
    const std::size_t queued = CheckLost() ? 0 : m_backend->bytesWaiting();
    std::vector<std::uint8_t> taken(queued);
    const std::size_t got = queued > 0 ? m_backend->read(taken) : 0;
    std::copy_n(taken.begin(), std::min(got, buffer.size()), buffer.begin());
    if (queued != buffer.size()) {
        ++m_figures.failedExchanges;
        if (InBurst())
            m_burstVoid = true;
        // Nothing at all: the line has been quiet since the request, long enough for the next.
        if (queued > 0) {
            m_awaitQuiet = true;
            m_lastActivity = Clock::now();
        }
    }
    return static_cast<std::uint32_t>(queued);
}

bool SerialChannel::QuietForAStep() {
    holdLine();
    if (!IsOpen() || CheckLost())
        return false;
    const auto until = Clock::now() + m_step;
    bool quiet = true;
    while (quiet && Clock::now() < until) {
        if (m_backend->bytesWaiting() > 0)
            quiet = false;
        else if (!m_backend->waitForBytes(until))
            return !CheckLost() && m_backend->bytesWaiting() == 0;
    }
    quiet = quiet && m_backend->bytesWaiting() == 0;
    if (!quiet) {
        Discard();
        m_awaitQuiet = true;
        m_lastActivity = Clock::now();
    }
    return quiet;
}

void SerialChannel::BeginBurst() {
    holdLine();
    if (m_burstDepth++ > 0)
        return;
    m_burstVoid = false;
    m_burstRequests = 0;
}

std::chrono::microseconds SerialChannel::BurstQuiet() const {
    // A character is 11 bits at 8N2; 3.5 of them, as a serial bus ends a frame, never less than
    // the 1.75 ms such buses keep at higher speeds.
    constexpr std::chrono::microseconds kFloor{1750};
    if (m_baud <= 0)
        return kFloor;
    const auto interval = std::chrono::microseconds(3'500'000LL * 11 / 10 / m_baud + 1);
    return std::max(kFloor, interval);
}

bool SerialChannel::EndBurst() {
    holdLine();
    if (m_burstDepth == 0)
        return false;
    const bool outermost = --m_burstDepth == 0;
    if (!IsOpen() || CheckLost())
        return false;
    // Quiet after the last byte, and after the time the last request's own reply needs to
    // cross the line (its request's characters and its own): a burst whose replies all came one
    // behind has the last one still on its way when its last exchange ends.
    const auto quietFor = BurstQuiet();
    const auto charTime = std::chrono::microseconds(11'000'000LL / std::max(m_baud, 1));
    const auto until = std::max(Clock::now() + quietFor, m_lastWrite + 8 * charTime + quietFor);
    bool quiet = m_backend->bytesWaiting() == 0;
    while (quiet && Clock::now() < until) {
        if (!m_backend->waitForBytes(until))
            return false; // the device failed; the caller notices
        quiet = m_backend->bytesWaiting() == 0;
    }
    if (!quiet) {
        // Thrown away as late; the void is counted once, for the outermost burst.
        Discard();
        m_awaitQuiet = true;
        m_lastActivity = Clock::now();
        m_burstVoid = true;
    }
    if (m_burstVoid && outermost)
        ++m_figures.voidBursts;
    return !m_burstVoid;
}

void SerialChannel::SetDtr() {
    holdLine();
    if (IsOpen())
        m_backend->setDtr(true);
}

void SerialChannel::ClearRts() {
    holdLine();
    if (IsOpen())
        m_backend->setRts(false);
}

} // namespace zef
