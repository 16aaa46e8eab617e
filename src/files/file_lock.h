#pragma once

#include <QString>

#include <chrono>

namespace zef {

// An exclusive lock on a whole open file, held until destruction or until the descriptor is
// closed. It is an open-file-description lock where the system has them (one per open, so two
// threads of one process exclude each other too) and a process lock otherwise. Either is kept by
// the kernel, or by the file server for a network folder, and goes away when its holder dies,
// so a crashed workstation leaves no stale lock behind.
class ExclusiveFileLock {
public:
    // Tries until `patience` has passed; a holder that never lets go must not hang the window.
    ExclusiveFileLock(int fd, std::chrono::milliseconds patience);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    [[nodiscard]] bool IsHeld() const { return m_held; }
    // Why the lock is not held.
    [[nodiscard]] const QString& Error() const { return m_error; }

private:
    int m_fd;
    bool m_held = false;
    QString m_error;
};

} // namespace zef
