#include "registry/event_queue.h"

#include "files/disk_write.h"
#include "files/file_lock.h"

#include <QFile>
#include <QJsonDocument>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

namespace zef {

namespace {

constexpr std::chrono::milliseconds kQueuePatience{10'000};

// The queue file, open and locked for one change.
class LockedFile {
public:
    explicit LockedFile(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)),
          m_lock(m_fd, kQueuePatience) {}
    ~LockedFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    [[nodiscard]] bool Usable() const { return m_fd >= 0 && m_lock.IsHeld(); }
    [[nodiscard]] int Fd() const { return m_fd; }

private:
    int m_fd;
    ExclusiveFileLock m_lock;
};

QByteArray Line(const RegistryEvent& event) {
    return QJsonDocument(EventJson(event)).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

EventQueue::EventQueue(QString path) : m_path(std::move(path)) {}

std::vector<RegistryEvent> EventQueue::ReadFile(int fd) const {
    QByteArray bytes;
    char buffer[8192];
    ssize_t got = 0;
    off_t at = 0;
    while ((got = ::pread(fd, buffer, sizeof buffer, at)) > 0) {
        bytes.append(buffer, got);
        at += got;
    }
    std::vector<RegistryEvent> events;
    // A line cut short by a crash is dropped; every whole line before it stands.
    for (const QByteArray& line : bytes.split('\n'))
        if (const auto event = EventFromJson(QJsonDocument::fromJson(line).object()))
            events.push_back(*event);
    return events;
}

void EventQueue::Add(const RegistryEvent& event) {
    if (!m_path.isEmpty()) {
        const LockedFile file(m_path);
        if (file.Usable()) {
            const off_t end = ::lseek(file.Fd(), 0, SEEK_END);
            if (WriteFully(file.Fd(), Line(event), end) == 0 && SyncToDisk(file.Fd()) == 0)
                return;
            (void)::ftruncate(file.Fd(), end);
        }
    }
    // No file to keep it in: at least this run keeps it.
    m_memory.push_back(event);
}

void EventQueue::Drain(const std::function<bool(const RegistryEvent&)>& write) {
    while (!m_memory.empty() && write(m_memory.front()))
        m_memory.erase(m_memory.begin());
    if (m_path.isEmpty() || !QFile::exists(m_path))
        return;
    const LockedFile file(m_path);
    if (!file.Usable())
        return;
    const std::vector<RegistryEvent> waiting = ReadFile(file.Fd());
    std::size_t sent = 0;
    while (sent < waiting.size() && write(waiting[sent]))
        ++sent;
    if (sent == 0 && !waiting.empty())
        return;
    QByteArray rest;
    for (std::size_t i = sent; i < waiting.size(); ++i)
        rest += Line(waiting[i]);
    // What was sent is in the registry; a crash before this rewrite sends it again, and the
    // event's uid keeps it from being stored twice.
    if (WriteFully(file.Fd(), rest, 0) == 0)
        (void)::ftruncate(file.Fd(), static_cast<off_t>(rest.size()));
    (void)SyncToDisk(file.Fd());
}

int EventQueue::Count() const {
    int count = static_cast<int>(m_memory.size());
    if (!m_path.isEmpty() && QFile::exists(m_path)) {
        const LockedFile file(m_path);
        if (file.Usable())
            count += static_cast<int>(ReadFile(file.Fd()).size());
    }
    return count;
}

} // namespace zef
