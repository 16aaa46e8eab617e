#include "files/disk_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifndef Q_OS_UNIX
#error "Disk writes use POSIX calls; a Windows build needs its own disk_write.cpp."
#endif

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace zef {

namespace {

// Wherever the umask allows it, a file the program makes can be used by the other accounts of
// the workstation, as any file their tools make.
constexpr mode_t kNewFileMode = 0666;
constexpr int kNameAttempts = 100;

// What the user can do about the common reasons; the others speak for themselves.
struct Advice {
    int error;
    const char* text;
};
constexpr Advice kAdvice[] = {
    {ENOSPC, "Освободите место на диске или выберите другую папку."},
    {EDQUOT, "Освободите место на диске или выберите другую папку."},
    {EFBIG, "Файл больше, чем система разрешает программе; выберите другую папку."},
    {EACCES, "Выберите папку, в которую разрешена запись."},
    {EPERM, "Выберите папку, в которую разрешена запись."},
    {EROFS, "Диск доступен только для чтения; выберите другую папку."},
};

// The strerror_r of the GNU library returns its text, the POSIX one an int and fills the buffer;
// overloads take whichever this system has.
[[maybe_unused]] const char* ErrorTextOf(int, const char* buffer) {
    return buffer;
}
[[maybe_unused]] const char* ErrorTextOf(const char* text, const char*) {
    return text;
}

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

Failure WriteFailure(const QString& path, int error, bool existed) {
    return Failure{QStringLiteral("Не удалось записать файл «%1»:\n%2\n%3")
                       .arg(Shown(path), DiskWriteReason(error),
                            existed ? QStringLiteral("Прежнее содержимое файла сохранено.")
                                    : QStringLiteral("Файл не создан."))};
}

// A renamed file's new name is only durable once its folder is on disk too. The content is
// already safe, so a folder that cannot be synced is no reason to call the write failed.
void SyncFolderOf(const QByteArray& path) {
    const int slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : path.left(std::max(slash, 1));
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)SyncToDisk(fd);
    ::close(fd);
}

// A link to an existing file is written through, so the link stays a link.
QString WrittenPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        return info.canonicalFilePath();
    return path;
}

// "name.XXXXXX": the target's name, a dot and six letters or digits.
constexpr int kTemporarySuffix = 7;

bool IsTemporaryName(const QString& name) {
    if (name.size() <= kTemporarySuffix || name[name.size() - kTemporarySuffix] != QChar('.'))
        return false;
    for (qsizetype i = name.size() - kTemporarySuffix + 1; i < name.size(); ++i)
        if (name[i].unicode() > 0x7F || !name[i].isLetterOrNumber())
            return false;
    return true;
}

} // namespace

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

void RemoveLeftTemporaries(const QString& folder,
                           const std::function<bool(const QString&)>& belongs) {
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!IsTemporaryName(name) || !belongs(name.left(name.size() - kTemporarySuffix)))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        // The writer holds the lock as long as it lives; a lock to be had means nobody will
        // ever finish this file.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

namespace {

void RemoveLeftTemporariesOf(const QString& path) {
    const QFileInfo target(path);
    const QString name = target.fileName();
    RemoveLeftTemporaries(target.path(), [&](const QString& of) { return of == name; });
}

} // namespace

QString SystemErrorText(int error) {
    char buffer[256] = {};
    return QString::fromLocal8Bit(ErrorTextOf(::strerror_r(error, buffer, sizeof buffer), buffer));
}

QString DiskWriteReason(int error) {
    QString text = SystemErrorText(error);
    for (const Advice& advice : kAdvice)
        if (advice.error == error)
            return text + QChar('\n') + QString::fromUtf8(advice.text);
    return text;
}

int WriteFully(int fd, QByteArrayView bytes, qint64 offset) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = offset < 0 ? ::write(fd, data, left)
                                     : ::pwrite(fd, data, left, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO; // no progress and no reason: do not spin
        data += n;
        left -= n;
        if (offset >= 0)
            offset += n;
    }
    return 0;
}

int SyncToDisk(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

SiblingTemporaryFile::SiblingTemporaryFile(const QString& target) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray base = QFile::encodeName(target) + '.';
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        QByteArray name = base;
        for (int i = 0; i < 6; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
        // The mode given here passes through the umask, unlike a temporary file's fixed 0600.
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (m_fd < 0) {
            m_openError = errno;
            if (m_openError != EEXIST && m_openError != EINTR)
                return;
            continue;
        }
        // Locked through a second descriptor, which outlives the checked close of the first
        // until the file has its name. Where the file system has no locks, no cleaner can take
        // the file for a dead one either. A cleaner that took it for dead between its creation
        // and the lock has unlinked it: then another name.
        m_lock = ::dup(m_fd);
        if (m_lock >= 0)
            (void)::flock(m_lock, LOCK_EX);
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && st.st_nlink > 0) {
            m_path = name;
            m_openError = 0;
            return;
        }
        m_openError = errno != 0 ? errno : EEXIST;
        ::close(m_fd);
        m_fd = -1;
        if (m_lock >= 0)
            ::close(m_lock);
        m_lock = -1;
    }
}

SiblingTemporaryFile::~SiblingTemporaryFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_path.isEmpty() && !m_release)
        ::unlink(m_path.constData());
    if (m_lock >= 0)
        ::close(m_lock);
}

int SiblingTemporaryFile::WriteAndClose(QByteArrayView bytes) {
    if (m_fd < 0)
        return m_openError != 0 ? m_openError : EBADF;
    int error = WriteFully(m_fd, bytes);
    if (error == 0)
        error = SyncToDisk(m_fd);
    // A file server may report a failed write only when the file is closed.
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (error == 0 && closed != 0 && errno != EINTR)
        error = errno;
    return error;
}

Status WriteFileAtomically(const QString& path, QByteArrayView bytes) {
    const QString written = WrittenPath(path);
    const QByteArray native = QFile::encodeName(written);
    RemoveLeftTemporariesOf(written);

    struct stat old {};
    const bool existed = ::stat(native.constData(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode))
        return WriteFailure(path, EISDIR, false); // a folder is no file to keep

    SiblingTemporaryFile file(written);
    if (file.OpenError() != 0)
        return WriteFailure(path, file.OpenError(), existed);
    if (existed) {
        // A replaced file keeps its owner where the system lets us, and always its mode (after
        // the owner, whose change may clear mode bits).
        (void)::fchown(file.Handle(), old.st_uid, old.st_gid);
        if (::fchmod(file.Handle(), old.st_mode & 07777) != 0)
            return WriteFailure(path, errno, existed);
    }
    if (const int error = file.WriteAndClose(bytes); error != 0)
        return WriteFailure(path, error, existed);
    if (::rename(file.NativePath().constData(), native.constData()) != 0)
        return WriteFailure(path, errno, existed);
    file.Release();
    SyncFolderOf(native);
    return Done{};
}

Expected<QString> WriteNewFile(const std::function<QString(int attempt)>& nameFor,
                               QByteArrayView bytes) {
    const QString first = nameFor(1);
    SiblingTemporaryFile file(first);
    if (file.OpenError() != 0)
        return WriteFailure(first, file.OpenError(), false);
    if (const int error = file.WriteAndClose(bytes); error != 0)
        return WriteFailure(first, error, false);
    // A hard link fails on a name that exists, where a rename would replace it.
    for (int attempt = 1; attempt <= kNameAttempts * 100; ++attempt) {
        const QString path = attempt == 1 ? first : nameFor(attempt);
        const QByteArray native = QFile::encodeName(path);
        if (::link(file.NativePath().constData(), native.constData()) == 0) {
            SyncFolderOf(native);
            return path; // the temporary goes with the object
        }
        if (errno == EEXIST)
            continue;
#ifdef RENAME_NOREPLACE
        // File systems without hard links may still rename without replacing.
        if ((errno == EPERM || errno == ENOTSUP) &&
            ::renameat2(AT_FDCWD, file.NativePath().constData(), AT_FDCWD, native.constData(),
                        RENAME_NOREPLACE) == 0) {
            file.Release();
            SyncFolderOf(native);
            return path;
        }
        if (errno == EEXIST)
            continue;
#endif
        return WriteFailure(path, errno, false);
    }
    return WriteFailure(first, EEXIST, false);
}

AppendedFile::AppendedFile(const QString& path, Creation creation) {
    const QByteArray native = QFile::encodeName(path);
    const int flags = creation == Creation::New              ? O_CREAT | O_EXCL
                      : creation == Creation::ReplaceNotLink ? O_CREAT | O_TRUNC | O_NOFOLLOW
                                                             : O_CREAT | O_TRUNC;
    do {
        m_fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC | flags, kNewFileMode);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        m_openError = errno;
}

AppendedFile::~AppendedFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int AppendedFile::Append(QByteArrayView bytes) {
    if (m_fd < 0)
        return m_openError != 0 ? m_openError : EBADF;
    const int error = WriteFully(m_fd, bytes, m_size);
    if (error == 0) {
        m_size += bytes.size();
        return 0;
    }
    // A file-size limit or a full disk may take the first bytes of a record and refuse the rest.
    while (::ftruncate(m_fd, static_cast<off_t>(m_size)) != 0 && errno == EINTR) {
    }
    return error;
}

int AppendedFile::Sync() {
    if (m_fd < 0)
        return m_openError != 0 ? m_openError : EBADF;
    return SyncToDisk(m_fd);
}

int AppendedFile::Close() {
    if (m_fd < 0)
        return m_openError != 0 ? m_openError : EBADF;
    int error = SyncToDisk(m_fd);
    // A file server may report a failed write only when the file is closed.
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (error == 0 && closed != 0 && errno != EINTR)
        error = errno;
    return error;
}

} // namespace zef
