#pragma once

#include "datalog/recorder.h"
#include "session/controller_session.h"
#include "session/tick.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace zef {

class MapEditor;

// One tick of the live monitor: status registers, the correction in the status line, the
// operating point marker, the map, and the closing read the controller expects.
//
// The tick's exchanges run on the session's line as one job; what they read is shown when the
// job is done. A tick is not begun while the last one is still on the line, so a slow line
// makes the ticks fewer instead of piling them up.
class MonitorCycle {
public:
    struct Hooks {
        std::function<void(const QString&)> setStatus;
        std::function<void()> placeMarker;
    };
    // After the tick's own exchanges, in the same job, the row that the datalog or the gauges
    // need: one row serves both.
    using RowReader = std::function<ReadRow(RegisterExchange&)>;

    MonitorCycle(ControllerSession& session, QObject& receiver, MapEditor& map, Hooks hooks)
        : m_session(session), m_receiver(receiver), m_map(map), m_hooks(std::move(hooks)) {}

    // Begins a tick; nothing when one is still on the line. `row` empty: no row is read.
    void Tick(RowReader row = {});
    [[nodiscard]] bool Pending() const { return m_pending; }
    // The session ended: a tick still on the line shows nothing when it comes back.
    void Cancel() {
        ++m_generation;
        m_pending = false;
    }

    // Runs at the end of every tick with the row read for it, if one was asked for.
    void SetAfterTick(std::function<void(std::optional<ReadRow>)> afterTick) {
        m_afterTick = std::move(afterTick);
    }

private:
    struct Reading {
        TickReading tick;
        std::optional<ReadRow> row;
    };
    void show(Reading reading);

    ControllerSession& m_session;
    QObject& m_receiver;
    MapEditor& m_map;
    Hooks m_hooks;
    std::function<void(std::optional<ReadRow>)> m_afterTick;
    bool m_pending = false;
    unsigned m_generation = 0;
};

} // namespace zef
