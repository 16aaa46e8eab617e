#pragma once

#include "link/register_exchange.h"

#include <QString>

#include <functional>

namespace zef {

class MapEditor;

// One tick of the live monitor: status registers, the correction in the status line, the
// operating point marker, the map, and the closing read the controller expects.
class MonitorCycle {
public:
    struct Hooks {
        std::function<void(const QString&)> setStatus;
        std::function<void()> placeMarker;
    };

    MonitorCycle(RegisterExchange& link, MapEditor& map, Hooks hooks)
        : m_link(link), m_map(map), m_hooks(std::move(hooks)) {}

    void Tick();

    // Runs at the end of every tick: the datalog reads its row here, after the exchanges the
    // controller expects, so the tick's own sequence stays as it was.
    void SetAfterTick(std::function<void()> afterTick) { m_afterTick = std::move(afterTick); }

private:
    RegisterExchange& m_link;
    MapEditor& m_map;
    Hooks m_hooks;
    std::function<void()> m_afterTick;
};

} // namespace zef
