#include "sim/pty_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace zef::sim {

PtyServer::PtyServer(std::shared_ptr<Simulator> simulator) : m_sim(std::move(simulator)) {}

PtyServer::~PtyServer() {
    Stop();
    Hangup();
}

bool PtyServer::Open(std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Hangup();
        return false;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        Hangup();
        return false;
    }
    m_path = name;
    m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveKeepAlive < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        Hangup();
        return false;
    }
    termios tio{};
    tcgetattr(m_slaveKeepAlive, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(m_slaveKeepAlive, TCSANOW, &tio);
    return true;
}

namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const auto w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// A piece of a reply on its way, due at a moment of its own.
struct Outgoing {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
    std::size_t request; // position in the simulator's requests
    bool last;           // the reply's last piece
};

} // namespace

void PtyServer::Run(const std::atomic<bool>& stop) {
    // Line timing is a matter of fractions of a millisecond: the default slack of 50 µs on
    // every sleep would stretch each character.
    (void)::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // The line is full duplex, as a UART's is: requests are taken, and timed, as they come,
    // also while a reply is still going out; the replies leave one after the other.
    std::deque<Outgoing> out;
    Clock::time_point lineFree{};
    std::size_t lastRequest = 0;
    bool anyRequest = false;
    std::uint8_t buf[256];
    while (!stop.load() && m_master >= 0) {
        auto now = Clock::now();
        while (!out.empty() && out.front().due <= now) {
            const Outgoing& piece = out.front();
            if (piece.last && anyRequest && lastRequest > piece.request) {
                std::lock_guard lock(m_mutex);
                m_overtaken.push_back(piece.request);
            }
            writeAll(m_master, piece.bytes.data(), piece.bytes.size());
            out.pop_front();
            now = Clock::now();
        }
        const auto wait = out.empty() ? Clock::duration(std::chrono::milliseconds(20))
                                      : std::max(Clock::duration::zero(), out.front().due - now);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                               static_cast<long>(ns % 1'000'000'000)};
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = ::ppoll(&pfd, 1, &timeout, nullptr);
        if (ready <= 0 || !(pfd.revents & POLLIN))
            continue;
        const auto n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto arrived = Clock::now();
        const auto charTime = std::chrono::duration_cast<Clock::duration>(m_sim->CharTime());
        for (const auto& reply : m_sim->Receive({buf, static_cast<std::size_t>(n)})) {
            anyRequest = true;
            lastRequest = reply.request;
            if (reply.pieces.empty())
                continue;
            // A reply starts when it is due or, while an earlier one is still going out, one
            // character after that one's last.
            const auto firstDue =
                arrived + std::chrono::duration_cast<Clock::duration>(reply.pieces.front().at);
            const auto shift = std::max(
                Clock::duration::zero(),
                lineFree + charTime * static_cast<long>(reply.pieces.front().bytes.size()) -
                    firstDue);
            for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
                const auto& piece = reply.pieces[i];
                const auto due =
                    arrived + std::chrono::duration_cast<Clock::duration>(piece.at) + shift;
                out.push_back({due, piece.bytes, reply.request, i + 1 == reply.pieces.size()});
                lineFree = std::max(lineFree, due);
            }
        }
        // Requests the controller answers nothing to still count as the latest received.
        const auto received = m_sim->Received();
        if (received > 0) {
            anyRequest = true;
            lastRequest = received - 1;
        }
    }
}

std::vector<std::size_t> PtyServer::Overtaken() const {
    std::lock_guard lock(m_mutex);
    return m_overtaken;
}

void PtyServer::Start() {
    m_stop = false;
    m_thread = std::thread([this] { Run(m_stop); });
}

void PtyServer::Stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void PtyServer::Hangup() {
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeepAlive = m_master = -1;
}

} // namespace zef::sim
