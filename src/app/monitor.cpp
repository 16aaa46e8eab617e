#include "app/monitor.h"

#include "app/map_editor.h"

namespace zef {

void MonitorCycle::Tick(RowReader row) {
    if (m_pending)
        return;
    m_pending = true;
    const bool withMap = m_map.Loaded();
    m_session.Post<Reading>(
        &m_receiver,
        [withMap, row = std::move(row)](RegisterExchange& link) {
            Reading reading;
            // One burst: stray bytes anywhere in it void all it read, and nothing of it is
            // shown.
            {
                Burst burst(link);
                reading.tick = ReadTick(link, withMap);
                if (!burst.Verified())
                    reading.tick = {};
            }
            if (row)
                reading.row = row(link);
            return reading;
        },
        [this, generation = m_generation](Reading reading) {
            if (generation == m_generation)
                show(std::move(reading));
        });
}

void MonitorCycle::show(Reading reading) {
    m_pending = false;
    if (m_hooks.setStatus && reading.tick.statusLine)
        m_hooks.setStatus(*reading.tick.statusLine);
    if (m_hooks.placeMarker)
        m_hooks.placeMarker();
    m_map.ShowRefreshed(reading.tick.map);
    if (m_afterTick)
        m_afterTick(std::move(reading.row));
}

} // namespace zef
