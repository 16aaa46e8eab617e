#include "app/monitor.h"

#include "app/map_editor.h"

namespace zef {

void MonitorCycle::Tick() {
    // One burst: stray bytes anywhere in it void all it read, and nothing of it is shown.
    TickReading tick;
    {
        Burst burst(m_link);
        tick = ReadTick(m_link, m_map.Loaded());
        if (!burst.Verified())
            tick = {};
    }
    if (m_hooks.setStatus && tick.statusLine)
        m_hooks.setStatus(*tick.statusLine);
    if (m_hooks.placeMarker)
        m_hooks.placeMarker();
    m_map.ShowRefreshed(tick.map);
    if (m_afterTick)
        m_afterTick();
}

} // namespace zef
