#pragma once

// Every write the program makes to disk goes through here, so that none of them can report
// success while the disk refused the bytes. The code is POSIX; a Windows build replaces
// disk_write.cpp and keeps this interface.

#include "files/outcome.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace zef {

// The system's own text for an errno value, in the user's language where the system has it
// ("No space left on device", "Нет свободного места на устройстве").
[[nodiscard]] QString SystemErrorText(int error);

// The system's text and, for the common reasons (a full disk, no right to write), a line on
// what the user can do about it.
[[nodiscard]] QString DiskWriteReason(int error);

// A process that exceeds its file-size limit is killed by SIGXFSZ inside write() unless it
// ignores the signal; ignored, the write fails with EFBIG and is reported like a full disk.
// Every program calls this first thing in main().
void IgnoreFileSizeSignal();

// Removes the temporary files (target.XXXXXX) that a write to a target in folder left behind
// when its process was killed, for every target that belongs(file name) says is ours. A
// temporary still being written by a live process is locked by it and left alone.
void RemoveLeftTemporaries(const QString& folder,
                           const std::function<bool(const QString&)>& belongs);

// Replaces the whole content of the file at path with bytes, or changes nothing. The bytes go
// into a new file in the same folder, every write and the flush to disk are checked, and only
// then does that file take path's name. A new file gets the permissions the umask gives; a
// replaced one keeps its own mode. On failure no temporary file remains and the text names the
// file and the system's reason. Temporaries an earlier, killed write to path left are removed.
[[nodiscard]] Status WriteFileAtomically(const QString& path, QByteArrayView bytes);

// Writes bytes whole to a file of a new name: the first of nameFor(1), nameFor(2), ... that
// no other file has. The name is claimed at the moment the complete file takes it, so two
// processes never both take one name. Returns the path written.
[[nodiscard]] Expected<QString> WriteNewFile(const std::function<QString(int attempt)>& nameFor,
                                             QByteArrayView bytes);

// Building blocks for files written in place (the production log, appended rows). Each returns
// 0 or the errno that stopped it.

// Writes all of bytes at the descriptor's position, or at offset when it is not negative,
// going on after a short write until the system refuses with a reason.
[[nodiscard]] int WriteFully(int fd, QByteArrayView bytes, qint64 offset = -1);
// Puts what was written on the disk itself.
[[nodiscard]] int SyncToDisk(int fd);

// A new file beside a target, holding its bytes until they are complete and on disk. It is
// created with the permissions the umask gives, as any file the program makes, and removed
// again unless Release() says it now lives under another name.
class SiblingTemporaryFile {
public:
    explicit SiblingTemporaryFile(const QString& target);
    ~SiblingTemporaryFile();
    SiblingTemporaryFile(const SiblingTemporaryFile&) = delete;
    SiblingTemporaryFile& operator=(const SiblingTemporaryFile&) = delete;

    // 0 when the file was created, otherwise why not.
    [[nodiscard]] int OpenError() const { return m_openError; }
    [[nodiscard]] int Handle() const { return m_fd; }
    // Held until the file is gone or has its real name, so that a cleaner can tell a live
    // write's temporary from one a killed process left.
    [[nodiscard]] const QByteArray& NativePath() const { return m_path; }

    // Writes bytes, syncs them to disk and closes the file, checking each step.
    [[nodiscard]] int WriteAndClose(QByteArrayView bytes);
    // The file has been linked or renamed to its real name: nothing to remove.
    void Release() { m_release = true; }

private:
    int m_fd = -1;
    int m_lock = -1;
    int m_openError = 0;
    bool m_release = false;
    QByteArray m_path;
};

// A file that grows by whole records in place, such as a datalog: made new (or emptied) when
// opened, and never left holding part of a record. Closing the object closes the file without
// a report; Close() says whether the last bytes reached the disk.
class AppendedFile {
public:
    enum class Creation {
        Replace,        // made new or emptied
        ReplaceNotLink, // the same, but never through a symbolic link
        New,            // only a name no file (nor link) has yet
    };
    explicit AppendedFile(const QString& path, Creation creation = Creation::Replace);
    ~AppendedFile();
    AppendedFile(const AppendedFile&) = delete;
    AppendedFile& operator=(const AppendedFile&) = delete;

    // 0 when the file was opened, otherwise why not.
    [[nodiscard]] int OpenError() const { return m_openError; }
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    // Bytes of whole records in the file.
    [[nodiscard]] qint64 Size() const { return m_size; }

    // Writes bytes at the end. When the system refuses part of them, the file is cut back to
    // its size before, so a reader finds the earlier records whole and nothing after them.
    [[nodiscard]] int Append(QByteArrayView bytes);
    [[nodiscard]] int Sync();
    // Syncs and closes, checking both; the file is closed afterwards in any case.
    [[nodiscard]] int Close();

private:
    int m_fd = -1;
    int m_openError = 0;
    qint64 m_size = 0;
};

} // namespace zef
