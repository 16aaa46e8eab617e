#pragma once

#include "datalog/trend_data.h"
#include "files/outcome.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QObject;

namespace zef {

// Reads a recording straight into trend data, a block of the file at a time, so a long one
// costs its rows and not the file's text besides. `progress` hears the share of the file read
// so far; `cancelled` stops the reading between blocks with nothing returned.
[[nodiscard]] std::optional<Expected<std::shared_ptr<TrendData>>>
ReadDatalogTrend(const QString& path, const std::atomic<bool>& cancelled,
                 const std::function<void(double)>& progress = {});

// Opens a recording on a thread of its own: the window stays with the fitter however long the
// file. `progress` and `finished` are called on `receiver`'s thread, in the order the reading
// made them, and never after Cancel(); a cancelled load finishes unheard. The receiver owns
// the load, or outlives it.
class DatalogLoad {
public:
    using Progress = std::function<void(double share)>;
    using Finished = std::function<void(Expected<std::shared_ptr<TrendData>>)>;

    DatalogLoad(const QString& path, QObject* receiver, Progress progress, Finished finished);
    ~DatalogLoad(); // cancels and waits for the reading to stop
    DatalogLoad(const DatalogLoad&) = delete;
    DatalogLoad& operator=(const DatalogLoad&) = delete;

    void Cancel();
    [[nodiscard]] const QString& Path() const { return m_path; }

private:
    QString m_path;
    // Shared with the calls already queued to the receiver, which may arrive after this is gone.
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    std::thread m_reader;
};

} // namespace zef
