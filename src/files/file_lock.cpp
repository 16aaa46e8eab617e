#include "files/file_lock.h"

#include <QtGlobal>

#ifndef Q_OS_UNIX
#error "The production log lock uses POSIX record locks; a Windows build needs LockFileEx here."
#endif

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace zef {

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

constexpr std::chrono::milliseconds kRetryPause{5};

bool SetLock(int fd, short type, int& error) {
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 0; // to the end, however far the file grows
    if (::fcntl(fd, kSetLock, &request) == 0)
        return true;
    error = errno;
    return false;
}

} // namespace

ExclusiveFileLock::ExclusiveFileLock(int fd, std::chrono::milliseconds patience) : m_fd(fd) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int error = 0;
    while (!(m_held = SetLock(m_fd, F_WRLCK, error))) {
        if (error == EINTR)
            continue;
        const bool busy = error == EAGAIN || error == EACCES;
        if (!busy || std::chrono::steady_clock::now() >= deadline) {
            m_error = busy ? QStringLiteral("файл занят другой программой")
                           : QString::fromLocal8Bit(std::strerror(error));
            return;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (m_held) {
        int ignored = 0;
        (void)SetLock(m_fd, F_UNLCK, ignored);
    }
}

} // namespace zef
