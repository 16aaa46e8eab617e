#include "sim/pty_server.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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

void sleepUntil(std::chrono::steady_clock::time_point t) {
    if (t > std::chrono::steady_clock::now())
        std::this_thread::sleep_until(t);
}

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

} // namespace

bool PtyServer::RequestWaiting() const {
    pollfd pfd{m_master, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
}

void PtyServer::Run(const std::atomic<bool>& stop) {
    std::uint8_t buf[256];
    while (!stop.load() && m_master >= 0) {
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 20);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(pfd.revents & POLLIN))
            continue;
        const auto n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto arrived = std::chrono::steady_clock::now();
        // One request after the other, as the controller does: while it sleeps over a late
        // answer, the next request waits unread on the line.
        for (const auto& reply : m_sim->Receive({buf, static_cast<std::size_t>(n)})) {
            for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
                const auto& piece = reply.pieces[i];
                sleepUntil(
                    arrived +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(piece.at));
                if (i + 1 == reply.pieces.size() && RequestWaiting()) {
                    std::lock_guard lock(m_mutex);
                    m_overtaken.push_back(reply.request);
                }
                writeAll(m_master, piece.bytes.data(), piece.bytes.size());
            }
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
