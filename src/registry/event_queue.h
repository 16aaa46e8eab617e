#pragma once

#include "registry/registry_event.h"

#include <QString>

#include <functional>
#include <vector>

namespace zef {

// Events the registry could not take, kept until it can: in memory, and in a small file of the
// station's own (one JSON object a line) so that a restart or the next zef-cli run sends them.
// Several processes of one station may share the file; each change holds a lock on it.
class EventQueue {
public:
    // An empty path keeps the events in memory only.
    explicit EventQueue(QString path);

    void Add(const RegistryEvent& event);
    // Hands every waiting event to `write` in the order they came and keeps those it refuses.
    // Stops at the first refusal: the registry is still away, and the order is kept.
    void Drain(const std::function<bool(const RegistryEvent&)>& write);
    [[nodiscard]] int Count() const;
    [[nodiscard]] const QString& Path() const { return m_path; }

private:
    [[nodiscard]] std::vector<RegistryEvent> ReadFile(int fd) const;

    QString m_path;
    std::vector<RegistryEvent> m_memory;
};

} // namespace zef
