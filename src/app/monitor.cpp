#include "app/monitor.h"

#include "app/map_editor.h"
#include "params/live_status.h"

namespace zef {

void MonitorCycle::Tick() {
    // The tick makes its exchanges whatever the answers, as the controller expects them; but
    // what it shows comes only from answers. A silent controller leaves the last reply in the
    // record, and a status line made from that reply would show another register's word as
    // live: the line then stays as it was.
    bool answered = m_link.Exchange(Command::ReadLive, kSetupModeRegister);
    const bool setupMode = SetupModeFrom(m_link.LastReply().second);
    answered &= m_link.Exchange(Command::ReadLive, kCorrectionSourceRegister);
    const bool oxygenFeedback = OxygenFeedbackFrom(m_link.LastReply().second);

    ParamValue percent = 0;
    if (!setupMode) {
        answered &= m_link.Exchange(Command::ReadLive, oxygenFeedback ? kOxygenCorrectionRegister
                                                                      : kManualCorrectionRegister);
        percent = CorrectionPercent(m_link.LastReply().second);
    }
    if (m_hooks.setStatus && answered)
        m_hooks.setStatus(StatusLineText(setupMode, oxygenFeedback, percent));
    if (m_hooks.placeMarker)
        m_hooks.placeMarker();
    m_map.RefreshMap();
    m_link.Exchange(Command::ReadLive, setupMode ? 180 : 226);
    if (m_afterTick)
        m_afterTick();
}

} // namespace zef
