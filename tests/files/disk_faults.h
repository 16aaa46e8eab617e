#pragma once

// Real write failures for tests: a child process under a file-size limit, a small file system
// filled up, and the umask a file is created under.

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>

namespace zef::test {

// Everything in a folder, hidden files too: a failed write leaves no temporary file behind.
inline QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

inline mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The umask for the life of the object, as a workstation's login would set it.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_previous); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t m_previous;
};

struct ChildResult {
    bool finished = false; // and exited, not killed
    int exitCode = -1;
    QString errorOutput;
};

// SIGXFSZ in the child: ignored, so a write past the limit fails with EFBIG as on a full
// disk, or at its default, so that only the program itself can keep it from being killed.
enum class FileSizeSignal { Ignored, Default };

// Runs program with the file-size limit lowered to limit bytes. The C locale keeps the
// system's texts predictable.
inline ChildResult RunUnderFileSizeLimit(const QString& program, const QStringList& arguments,
                                         rlim_t limit,
                                         FileSizeSignal signal = FileSizeSignal::Ignored,
                                         const QString& workingFolder = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C");
    environment.insert("LANGUAGE", "C");
    process.setProcessEnvironment(environment);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.setChildProcessModifier([limit, signal] {
        ::signal(SIGXFSZ, signal == FileSizeSignal::Ignored ? SIG_IGN : SIG_DFL);
        struct rlimit size {};
        size.rlim_cur = limit;
        size.rlim_max = limit;
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
            ::_exit(99);
    });
    process.start(program, arguments);
    ChildResult result;
    result.finished =
        process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.errorOutput = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// A tmpfs of a few pages mounted on a folder for the life of the object. Mounting needs root and
// a system that allows it; Reason() says why there is none.
class SmallTmpfs {
public:
    SmallTmpfs(const QString& folder, const char* size) : m_folder(folder) {
        if (::geteuid() != 0) {
            m_reason = "mounting a small tmpfs needs root";
            return;
        }
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.c_str()) !=
            0) {
            m_reason = std::string("mount -t tmpfs is not allowed here: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallTmpfs() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    [[nodiscard]] bool Mounted() const { return m_mounted; }
    [[nodiscard]] const std::string& Reason() const { return m_reason; }

    // Takes every free block with a file of its own, so that the next block any file asks for
    // is refused. True when the file system did run full.
    bool Fill() const {
        const QByteArray path = QFile::encodeName(QDir(m_folder).filePath(".filler"));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return false;
        const std::vector<char> block(4096, 'f');
        int error = 0;
        for (;;) {
            if (::write(fd, block.data(), block.size()) < 0) {
                error = errno;
                break;
            }
        }
        // Single bytes fill the last partial page as well.
        while (::write(fd, block.data(), 1) == 1) {
        }
        ::close(fd);
        return error == ENOSPC;
    }

private:
    QString m_folder;
    bool m_mounted = false;
    std::string m_reason;
};

} // namespace zef::test
