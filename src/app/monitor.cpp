#include "app/monitor.h"

#include "app/map_editor.h"
#include "controls/format_value.h"

namespace zef {

QString MonitorCycle::StatusText(bool setupMode, bool oxygenFeedback, ParamValue percent) {
    if (setupMode)
        return QStringLiteral("=== РЕЖИМ УСТАНОВКИ ===");
    const QString number = FormatValue(QStringLiteral("0.00"), percent);
    if (oxygenFeedback)
        return QStringLiteral("Датчик кислорода ") + number + QStringLiteral(" %");
    return QStringLiteral("Ручная подстройка  ") + number + QStringLiteral(" %");
}

void MonitorCycle::Tick() {
    // The tick makes its exchanges whatever the answers, as the controller expects them; but
    // what it shows comes only from answers. A silent controller leaves the last reply in the
    // record, and a status line made from that reply would show another register's word as
    // live: the line then stays as it was.
    bool answered = m_link.Exchange(Command::ReadLive, 76);
    const bool setupMode = m_link.ReplyLowByte() > 127;
    answered &= m_link.Exchange(Command::ReadLive, 77);
    const bool oxygenFeedback = (m_link.ReplyLowByte() & 0x02) != 0;

    ParamValue percent = 0;
    if (!setupMode) {
        answered &= m_link.Exchange(Command::ReadLive, oxygenFeedback ? 186 : 182);
        percent = m_link.ReplyPercent();
    }
    if (m_hooks.setStatus && answered)
        m_hooks.setStatus(StatusText(setupMode, oxygenFeedback, percent));
    if (m_hooks.placeMarker)
        m_hooks.placeMarker();
    m_map.RefreshMap();
    m_link.Exchange(Command::ReadLive, setupMode ? 180 : 226);
}

} // namespace zef
